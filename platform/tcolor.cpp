#include "platform/tcolor.h"

#include <array>

namespace {

struct ColorIdent {
    TColor value;
    const char* name;
};

constexpr std::array<ColorIdent, 52> kIdents{{
    {clBlack, "clBlack"},
    {clMaroon, "clMaroon"},
    {clGreen, "clGreen"},
    {clOlive, "clOlive"},
    {clNavy, "clNavy"},
    {clPurple, "clPurple"},
    {clTeal, "clTeal"},
    {clGray, "clGray"},
    {clSilver, "clSilver"},
    {clRed, "clRed"},
    {clLime, "clLime"},
    {clYellow, "clYellow"},
    {clBlue, "clBlue"},
    {clFuchsia, "clFuchsia"},
    {clAqua, "clAqua"},
    {clWhite, "clWhite"},
    {clMoneyGreen, "clMoneyGreen"},
    {clSkyBlue, "clSkyBlue"},
    {clCream, "clCream"},
    {clMedGray, "clMedGray"},
    {clActiveBorder, "clActiveBorder"},
    {clActiveCaption, "clActiveCaption"},
    {clAppWorkSpace, "clAppWorkSpace"},
    {clBackground, "clBackground"},
    {clBtnFace, "clBtnFace"},
    {clBtnHighlight, "clBtnHighlight"},
    {clBtnShadow, "clBtnShadow"},
    {clBtnText, "clBtnText"},
    {clCaptionText, "clCaptionText"},
    {clDefault, "clDefault"},
    {clGradientActiveCaption, "clGradientActiveCaption"},
    {clGradientInactiveCaption, "clGradientInactiveCaption"},
    {clGrayText, "clGrayText"},
    {clHighlight, "clHighlight"},
    {clHighlightText, "clHighlightText"},
    {clHotLight, "clHotLight"},
    {clInactiveBorder, "clInactiveBorder"},
    {clInactiveCaption, "clInactiveCaption"},
    {clInactiveCaptionText, "clInactiveCaptionText"},
    {clInfoBk, "clInfoBk"},
    {clInfoText, "clInfoText"},
    {clMenu, "clMenu"},
    {clMenuBar, "clMenuBar"},
    {clMenuHighlight, "clMenuHighlight"},
    {clMenuText, "clMenuText"},
    {clNone, "clNone"},
    {clScrollBar, "clScrollBar"},
    {cl3DDkShadow, "cl3DDkShadow"},
    {cl3DLight, "cl3DLight"},
    {clWindow, "clWindow"},
    {clWindowFrame, "clWindowFrame"},
    {clWindowText, "clWindowText"},
}};

// Classic Windows scheme, index = system colour number.
constexpr std::array<TColor, 31> kSystemRGB{{
    RGBColor(0xC0, 0xC0, 0xC0),  // scroll bar
    RGBColor(0x00, 0x80, 0x80),  // background
    RGBColor(0x00, 0x00, 0x80),  // active caption
    RGBColor(0x80, 0x80, 0x80),  // inactive caption
    RGBColor(0xC0, 0xC0, 0xC0),  // menu
    RGBColor(0xFF, 0xFF, 0xFF),  // window
    RGBColor(0x00, 0x00, 0x00),  // window frame
    RGBColor(0x00, 0x00, 0x00),  // menu text
    RGBColor(0x00, 0x00, 0x00),  // window text
    RGBColor(0xFF, 0xFF, 0xFF),  // caption text
    RGBColor(0xC0, 0xC0, 0xC0),  // active border
    RGBColor(0xC0, 0xC0, 0xC0),  // inactive border
    RGBColor(0x80, 0x80, 0x80),  // app workspace
    RGBColor(0x00, 0x00, 0x80),  // highlight
    RGBColor(0xFF, 0xFF, 0xFF),  // highlight text
    RGBColor(0xC0, 0xC0, 0xC0),  // button face
    RGBColor(0x80, 0x80, 0x80),  // button shadow
    RGBColor(0x80, 0x80, 0x80),  // grey text
    RGBColor(0x00, 0x00, 0x00),  // button text
    RGBColor(0xC0, 0xC0, 0xC0),  // inactive caption text
    RGBColor(0xFF, 0xFF, 0xFF),  // button highlight
    RGBColor(0x00, 0x00, 0x00),  // 3-D dark shadow
    RGBColor(0xDF, 0xDF, 0xDF),  // 3-D light
    RGBColor(0x00, 0x00, 0x00),  // info text
    RGBColor(0xFF, 0xFF, 0xE1),  // info background
    RGBColor(0xB5, 0xB5, 0xB5),  // (unused number 25)
    RGBColor(0x00, 0x00, 0xFF),  // hot light
    RGBColor(0x10, 0x84, 0xD0),  // gradient active caption
    RGBColor(0xB5, 0xB5, 0xB5),  // gradient inactive caption
    RGBColor(0x31, 0x6A, 0xC5),  // menu highlight
    RGBColor(0xC0, 0xC0, 0xC0),  // menu bar
}};

}  // namespace

TColor ColorToRGB(TColor c) {
    const auto u = std::uint32_t(c);
    if ((u & 0xFF000000u) == 0xFF000000u) {
        const auto n = u & 0xFFu;
        return n < kSystemRGB.size() ? kSystemRGB[n] : clBlack;
    }
    if (c == clNone) return clWhite;
    if (c == clDefault) return clBlack;
    return TColor(u & 0x00FFFFFFu);
}

QColor ToQColor(TColor c) {
    const auto v = std::uint32_t(ColorToRGB(c));
    return QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF));
}

TColor FromQColor(const QColor& c) {
    return RGBColor(c.red(), c.green(), c.blue());
}

QString ColorToString(TColor c) {
    for (const auto& id : kIdents)
        if (id.value == c) return QString::fromLatin1(id.name);
    return QStringLiteral("$%1").arg(std::uint32_t(c), 8, 16, QLatin1Char('0')).toUpper();
}

std::optional<TColor> StringToColor(const QString& text) {
    for (const auto& id : kIdents)
        if (text.compare(QLatin1String(id.name), Qt::CaseInsensitive) == 0) return id.value;
    bool ok = false;
    if (text.startsWith(QLatin1Char('$'))) {
        const QString digits = text.mid(1);
        if (digits.isEmpty() || digits.size() > 8) return std::nullopt;
        const auto v = digits.toUInt(&ok, 16);
        if (!ok) return std::nullopt;
        return TColor(v);
    }
    const auto v = text.toLongLong(&ok, 10);
    if (!ok || v < INT32_MIN || v > UINT32_MAX) return std::nullopt;
    return TColor(std::uint32_t(v));
}
