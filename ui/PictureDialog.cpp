#include "PictureDialog.h"

#include "CommandError.h"
#include "PictureWriter.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace veltrane {

std::optional<std::string> PictureDialog::save(QWidget& window, Module1& store, bool grid,
                                               const std::string& suggestedName) {
    const QStringList types{QStringLiteral("PNG picture (*.png)"),
                            QStringLiteral("SVG picture (*.svg)"),
                            QStringLiteral("PDF document (*.pdf)")};
    const QString folder = m_folder.isEmpty() ? QDir::currentPath() : m_folder;
    QString type = types[0];
    QString file = QFileDialog::getSaveFileName(
        &window, QStringLiteral("Save picture"),
        QDir(folder).filePath(QString::fromStdString(suggestedName) + ".png"),
        types.join(QStringLiteral(";;")), &type);
    if (file.isEmpty()) {
        return std::nullopt;
    }
    // A name without one of the three types takes the type chosen in the dialog.
    if (!cli::pictureFormat(file.toStdString())) {
        file += "." + type.section(QLatin1Char('.'), 1).chopped(1);
    }
    m_folder = QFileInfo(file).absolutePath();
    try {
        const std::string path = file.toStdString();
        PictureWriter().write(store, {path, cli::requirePictureFormat(path), grid, 96});
    } catch (const cli::CommandError& e) {
        return "The picture could not be saved as " + file.toStdString() + " (" + e.what() + ").";
    }
    return std::nullopt;
}

} // namespace veltrane
