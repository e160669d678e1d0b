#include "gui/window/filedialog.h"

#include "core/text/resource.h"
#include "gui/base/controlids.h"
#include "gui/base/helpcall.h"
#include "gui/base/messagebox.h"
#include "gui/widgets/messages.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QShortcut>
#include <QStringList>

namespace {

// "Output Files (*.TXT)|*.TXT||" gives "Output Files (*.TXT *.txt)".
QStringList NameFilters(const char* filter) {
    const QStringList parts = QString::fromLatin1(filter).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty())
            break;
        QString description = parts[i];
        const qsizetype open = description.indexOf(QLatin1String(" ("));
        if (open >= 0)
            description.truncate(open);
        QStringList patterns;
        for (const QString& pattern : parts[i + 1].split(QLatin1Char(';'))) {
            patterns << pattern.toUpper();
            if (pattern.toLower() != pattern.toUpper())
                patterns << pattern.toLower();
        }
        filters << description + QLatin1String(" (") + patterns.join(QLatin1Char(' ')) +
                       QLatin1Char(')');
    }
    return filters;
}

// Qt's dialog takes any name in AnyFile mode, even in a folder that does not exist. With
// OFN_PATHMUSTEXIST the folder must exist: a new file name in an existing folder is fine.
class CFileNameDialog : public QFileDialog {
  public:
    CFileNameDialog(QWidget* parent, const QString& title, unsigned flags)
        : QFileDialog(parent, title), m_flags(flags) {}

    void accept() override {
        const QStringList files = selectedFiles();
        if ((m_flags & OFN_PATHMUSTEXIST) != 0 && !files.isEmpty()) {
            const QFileInfo chosen(files.first());
            if (!chosen.isDir() && !chosen.absoluteDir().exists()) {
                AppMessageBox(QDir::toNativeSeparators(chosen.absolutePath()).toStdString() +
                                  "\nPath does not exist.\nCheck the path and try again.",
                              MB_OK | MB_ICONEXCLAMATION, 0);
                return;
            }
        }
        QFileDialog::accept();
    }

  private:
    unsigned m_flags;
};

} // namespace

int ChooseFileName(QWidget* parent, bool bOpen, const char* title, const char* filter,
                   const char* defaultExtension, unsigned flags, std::string& strPath,
                   int nHelpId) {
    CFileNameDialog dialog(parent, QString::fromLatin1(title), flags);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(bOpen ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite,
                     (flags & OFN_OVERWRITEPROMPT) == 0 || bOpen);
    dialog.setNameFilters(NameFilters(filter));
    dialog.setDefaultSuffix(QString::fromLatin1(defaultExtension));
    if (bOpen) {
        dialog.setDirectory(QDir::currentPath());
    } else {
        const QFileInfo initial(QString::fromLocal8Bit(strPath.c_str()));
        dialog.setDirectory(initial.absolutePath());
        dialog.selectFile(initial.fileName());
    }
    QShortcut help(QKeySequence(Qt::Key_F1), &dialog);
    QObject::connect(&help, &QShortcut::activated, &dialog,
                     [nHelpId] { ShowHelp(HELP_CONTEXT, HELP_BASE_DIALOG + nHelpId); });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return 0;
    strPath = dialog.selectedFiles().first().toLocal8Bit().toStdString();
    return 1;
}
