// "cmake --install" puts the program, its desktop entry and its icon where a freedesktop
// desktop looks for them.
#include "QtTestSupport.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <array>
#include <gtest/gtest.h>
#include <memory>

namespace {

QStringList desktopEntry(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return {};
    }
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

TEST(DesktopInstall, InstallsBinaryDesktopEntryAndIcon) {
    const QTemporaryDir prefix;
    ASSERT_TRUE(prefix.isValid());
    QProcess install;
    install.start(QStringLiteral(VELTRANE_CMAKE_COMMAND),
                  {"--install", VELTRANE_BUILD_DIR, "--prefix", prefix.path()});
    ASSERT_TRUE(install.waitForFinished(60000));
    ASSERT_EQ(install.exitCode(), 0) << install.readAllStandardError().toStdString();

    const QString binary = prefix.filePath("bin/veltrane");
    EXPECT_TRUE(QFile::exists(binary));
    EXPECT_TRUE(QFile::permissions(binary) & QFileDevice::ExeUser);

    const QStringList entry = desktopEntry(prefix.filePath("share/applications/veltrane.desktop"));
    ASSERT_FALSE(entry.isEmpty());
    EXPECT_EQ(entry.first(), "[Desktop Entry]");
    for (const char* line : {"Type=Application", "Name=Veltrane", "Exec=veltrane", "Icon=veltrane",
                             "Terminal=false"}) {
        EXPECT_TRUE(entry.contains(QString::fromLatin1(line))) << line;
    }

    veltrane::test::application();
    const QString icon = prefix.filePath("share/icons/hicolor/scalable/apps/veltrane.svg");
    QSvgRenderer renderer(icon);
    ASSERT_TRUE(renderer.isValid());
    QImage image(128, 128, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        renderer.render(&painter);
    }
    EXPECT_GT(qAlpha(image.pixel(64, 64)) + qAlpha(image.pixel(4, 64)), 0);
    EXPECT_TRUE(image.save(veltrane::test::artifactPath("veltrane-icon.png")));
}

} // namespace
