#include "platform/dialogs.h"

#include "platform/programpaths.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMessageBox>

namespace {

// Messages carry Windows line breaks (a lone CR before a file name); a message box wants LF.
QString ForDisplay(const QString& text) {
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return t;
}

// Message boxes carry the application's title, as the window caption does.
QString Caption() {
    const QString title = ApplicationTitle();
    return title.isEmpty() ? QApplication::applicationName() : title;
}

std::function<bool()> g_enterHandler;

class RealDialogs : public DialogProvider {
public:
    bool Confirm(QWidget* parent, const QString& text) override {
        ScopedEnterHandover enter;
        return QMessageBox::question(parent, Caption(), ForDisplay(text),
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    }
    bool Ask(QWidget* parent, const QString& text, bool defaultYes) override {
        ScopedEnterHandover enter;
        return QMessageBox::question(
                   parent, Caption(), ForDisplay(text), QMessageBox::Yes | QMessageBox::No,
                   defaultYes ? QMessageBox::Yes : QMessageBox::No) == QMessageBox::Yes;
    }
    void Error(QWidget* parent, const QString& text) override {
        QMessageBox::critical(parent, Caption(), ForDisplay(text));
    }
    void ErrorWithDetails(QWidget* parent, const QString& text, const QString& details) override {
        if (details.isEmpty()) return Error(parent, text);
        QMessageBox box(QMessageBox::Critical, Caption(), ForDisplay(text), QMessageBox::Ok, parent);
        box.setDetailedText(ForDisplay(details));
        box.exec();
    }
    void Information(QWidget* parent, const QString& text) override {
        QMessageBox::information(parent, Caption(), ForDisplay(text));
    }
    QString OpenFile(QWidget* parent, FileDialogRequest& r) override {
        return Run(parent, r, false);
    }
    QString SaveFile(QWidget* parent, FileDialogRequest& r) override {
        return Run(parent, r, true);
    }
    int Exec(QDialog* dialog) override { return dialog->exec(); }
    void Beep() override { QApplication::beep(); }

private:
    static QString Run(QWidget* parent, FileDialogRequest& r, bool save) {
        QFileDialog dlg(parent, r.title, r.initialDir);
        const QStringList filters = SplitFileFilter(r.filter);
        dlg.setNameFilters(filters);
        if (r.filterIndex >= 1 && r.filterIndex <= filters.size())
            dlg.selectNameFilter(filters[r.filterIndex - 1]);
        dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dlg.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        // The extension the dialog adds to a bare name follows the selected type.
        auto follow = [&dlg, &r, filters](const QString& filter) {
            const QString ext = FilterExtension(r, int(filters.indexOf(filter)) + 1);
            dlg.setDefaultSuffix(ext.isEmpty() ? QString() : ext.mid(1));
        };
        follow(filters.value(r.filterIndex - 1));
        QObject::connect(&dlg, &QFileDialog::filterSelected, &dlg, follow);
        if (!r.fileName.isEmpty()) dlg.selectFile(r.fileName);
        if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return {};
        r.filterIndex = int(filters.indexOf(dlg.selectedNameFilter())) + 1;
        r.fileName = dlg.selectedFiles().constFirst();
        return r.fileName;
    }
};

RealDialogs& Real() {
    static RealDialogs real;
    return real;
}
DialogProvider* g_provider = nullptr;

}  // namespace

void SetEnterHandler(std::function<bool()> handler) {
    g_enterHandler = std::move(handler);
}

bool EnterTaken() {
    return g_enterHandler && g_enterHandler();
}

ScopedEnterHandover::ScopedEnterHandover() {
    if (QCoreApplication::instance()) QCoreApplication::instance()->installEventFilter(this);
}

ScopedEnterHandover::~ScopedEnterHandover() {
    if (QCoreApplication::instance()) QCoreApplication::instance()->removeEventFilter(this);
}

bool ScopedEnterHandover::eventFilter(QObject*, QEvent* event) {
    // Enter, not Alt+Enter or Ctrl+Enter: the key a finisher is timed with. Seen here before the
    // dialog's buttons see it.
    if (event->type() != QEvent::KeyPress) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) ||
        (key->modifiers() & (Qt::AltModifier | Qt::ControlModifier)) || key->isAutoRepeat())
        return false;
    return EnterTaken();
}

DialogProvider& Dialogs() {
    return g_provider ? *g_provider : Real();
}

void SetDialogs(DialogProvider* provider) {
    g_provider = provider;
}

QStringList SplitFileFilter(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        // Qt reads the patterns from the parentheses of the name.
        QString name = parts[i];
        if (!name.contains(QLatin1Char('(')))
            name += QStringLiteral(" (") + parts[i + 1] + QLatin1Char(')');
        out << name;
    }
    return out;
}

QString FilterExtension(const FileDialogRequest& request, int filterIndex) {
    const QStringList parts = request.filter.split(QLatin1Char('|'));
    const qsizetype at = 2 * qsizetype(filterIndex - 1) + 1;
    if (filterIndex >= 1 && at < parts.size()) {
        const QString pattern = parts[at].section(QLatin1Char(';'), 0, 0).trimmed();
        const qsizetype dot = pattern.lastIndexOf(QLatin1Char('.'));
        if (dot >= 0 && dot + 1 < pattern.size() && !pattern.mid(dot).contains(QLatin1Char('*')) &&
            !pattern.mid(dot).contains(QLatin1Char('?')))
            return pattern.mid(dot);
    }
    return request.defaultExt;
}

QString WithTypeExtension(const QString& fileName, const FileDialogRequest& request) {
    if (fileName.isEmpty()) return fileName;
    const QString name = fileName.section(QLatin1Char('/'), -1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot > 0 && dot + 1 < name.size()) return fileName;
    QString base = fileName;
    if (base.endsWith(QLatin1Char('.'))) base.chop(1);
    return base + FilterExtension(request, request.filterIndex);
}
