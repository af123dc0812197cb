#include <QDir>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QMimeDatabase>
#include <veltrane/errors.h>
#include <veltrane/ui/PictureDialog.h>
#include <veltrane/ui/PictureWriter.h>

namespace veltrane::ui {
using namespace veltrane::classic;
using namespace veltrane::graph;
using namespace veltrane::cli;

namespace {

// Icons and types from the name alone. Qt's own provider reads a file's first bytes where its
// name says nothing, on the thread that runs the windows; a file such as /proc/kmsg never
// answers, and the program would hang on a folder merely shown.
class IconsByName : public QFileIconProvider {
public:
    QIcon icon(const QFileInfo& info) const override {
        if (info.isRoot()) {
            return QFileIconProvider::icon(Drive);
        }
        return QFileIconProvider::icon(info.isDir() ? Folder : File);
    }

    QString type(const QFileInfo& info) const override {
        if (!info.isFile()) {
            return QFileIconProvider::type(info); // folders and the like: no file is read
        }
        const QMimeType mime = QMimeDatabase().mimeTypeForFile(info, QMimeDatabase::MatchExtension);
        return mime.comment().isEmpty() ? mime.name() : mime.comment();
    }
};

} // namespace

std::optional<std::string> PictureDialog::save(QWidget& window, Module1& store, bool grid,
                                               const std::string& suggestedName) {
    const QStringList types{QStringLiteral("PNG picture (*.png)"),
                            QStringLiteral("SVG picture (*.svg)"),
                            QStringLiteral("PDF document (*.pdf)")};
    const QString folder = m_folder.isEmpty() ? QDir::currentPath() : m_folder;
    // Declared first, so that it outlives the dialog's file system model, which uses it.
    IconsByName icons;
    // Qt's own dialog, as only there the types can be kept to what names say.
    QFileDialog dialog(&window, QStringLiteral("Save picture"), folder,
                       types.join(QStringLiteral(";;")));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setIconProvider(&icons);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.selectFile(QString::fromStdString(suggestedName) + ".png");
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().value(0).isEmpty()) {
        return std::nullopt;
    }
    QString file = dialog.selectedFiles().value(0);
    // A name without one of the three types takes the type chosen in the dialog.
    if (!cli::pictureFormat(file.toStdString())) {
        file += "." + dialog.selectedNameFilter().section(QLatin1Char('.'), 1).chopped(1);
    }
    m_folder = QFileInfo(file).absolutePath();
    try {
        const std::string path = file.toStdString();
        PictureWriter().write(store, {path, cli::requirePictureFormat(path), grid, 96});
    } catch (const Error& e) {
        return "The picture could not be saved as " + file.toStdString() + " (" + e.what() + ").";
    }
    return std::nullopt;
}

} // namespace veltrane::ui
