#pragma once

#include <QString>
#include <functional>

// Owned option records of the sort grid. Plain data: the grid reads the fields where it sorts
// and prints, and a host sets them one by one.

enum class TSortStyle { ssAutomatic, ssNormal, ssNumeric, ssNumericExtended, ssDateTime, ssTime, ssCustom };
enum class TSortDirection { sdAscending, sdDescending };

struct TSortOptions {
    bool CanSort = true;
    QString SecondaryIndex;
    TSortStyle SortStyle = TSortStyle::ssNormal;
    bool SortCaseSensitive = false;
    int SortCol = 0;
    TSortDirection SortDirection = TSortDirection::sdAscending;
    bool UpdateOnSizeChange = false;
    // Comparison for ssCustom; cleared at the end of every sort.
    std::function<int(const QString&, const QString&)> SortCompare;
};

enum class TMyPrintRange { prAll, prSelected };

struct TPrintOptions {
    QString JobTitle;
    QString PageTitle;
    unsigned Copies = 0;
    TMyPrintRange PrintRange = TMyPrintRange::prAll;
    unsigned FromRow = 0;
    unsigned ToRow = 0;
    unsigned PreviewPage = 0;
};
