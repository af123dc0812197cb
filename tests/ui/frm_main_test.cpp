// The main window on the real X11 platform, with a fake graph window and message box.
#include "MainLayout.h"
#include "QtTestSupport.h"
#include "frmMain.h"

#include <QFile>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace veltrane {
namespace {

using namespace mainlayout;
using test::CountingPresenter;
using test::RecordingMessages;

QString qstr(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

class MainWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::application(); }

    void SetUp() override {
        window = std::make_unique<frmMain>(store, presenter, &messages);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    template <typename T = QWidget> T* control(std::string_view name) const {
        auto* found = window->findChild<T*>(qstr(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    void click(std::string_view button) {
        QTest::mouseClick(control<QPushButton>(button), Qt::LeftButton);
    }

    Module1 store;
    RecordingMessages messages;
    CountingPresenter presenter;
    std::unique_ptr<frmMain> window;
};

TEST_F(MainWindow, CaptionAndClientAreaInTwips) {
    EXPECT_EQ(window->windowTitle(), "Veltrane");
    EXPECT_EQ(window->objectName(), "frmMain");
    const TwipsScale& scale = window->scale();
    const double halfPixel = scale.toTwips(0.5);
    EXPECT_NEAR(scale.toTwips(window->width()), kClientWidthTwips, halfPixel);
    EXPECT_NEAR(scale.toTwips(window->height()), kClientHeightTwips, halfPixel);
}

class ControlLayout : public MainWindow, public ::testing::WithParamInterface<ControlPlacement> {};

TEST_P(ControlLayout, SitsAtItsTwipsPositionWithItsText) {
    const ControlPlacement& placement = GetParam();
    const QWidget* widget = control(placement.name);
    ASSERT_NE(widget, nullptr);
    const TwipsScale& scale = window->scale();
    // Measured back in twips, each edge within half a pixel of the table.
    const QRect g = widget->geometry();
    const double halfPixel = scale.toTwips(0.5);
    EXPECT_NEAR(scale.toTwips(g.left()), placement.left, halfPixel);
    EXPECT_NEAR(scale.toTwips(g.top()), placement.top, halfPixel);
    EXPECT_NEAR(scale.toTwips(g.left() + g.width()), placement.left + placement.width, halfPixel);
    EXPECT_NEAR(scale.toTwips(g.top() + g.height()), placement.top + placement.height, halfPixel);
    EXPECT_TRUE(widget->isVisible());

    const QString text = qstr(placement.text);
    switch (placement.kind) {
    case ControlKind::Button: {
        const auto* button = qobject_cast<const QPushButton*>(widget);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->text(), text);
        EXPECT_FALSE(button->autoDefault());
        EXPECT_FALSE(button->isDefault());
        break;
    }
    case ControlKind::TextBox: {
        const auto* edit = qobject_cast<const QLineEdit*>(widget);
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(edit->text(), text);
        EXPECT_EQ(edit->validator(), nullptr);
        EXPECT_TRUE(edit->inputMask().isEmpty());
        break;
    }
    case ControlKind::Label: {
        const auto* label = qobject_cast<const QLabel*>(widget);
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), text);
        EXPECT_EQ(label->focusPolicy(), Qt::NoFocus);
        // The whole caption shows at the fixed width.
        EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()),
                  label->contentsRect().width());
        break;
    }
    }
}

std::string controlRowName(const ::testing::TestParamInfo<ControlPlacement>& row) {
    // "Label1(6)" becomes "Label1_6".
    std::string name;
    for (const char ch : row.param.name) {
        if (std::isalnum(static_cast<unsigned char>(ch))) {
            name += ch;
        } else if (ch == '(') {
            name += '_';
        }
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Table, ControlLayout, ::testing::ValuesIn(kControls), controlRowName);

bool isDark(QRgb pixel) {
    return qGray(pixel) < 96;
}

// Whether a dark pixel lies within one pixel of (x, y): a line's inner points may round to
// the neighbouring pixel.
bool darkNear(const QImage& image, int x, int y) {
    for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
            if (image.valid(x + dx, y + dy) && isDark(image.pixel(x + dx, y + dy))) {
                return true;
            }
        }
    }
    return false;
}

TEST_F(MainWindow, LinesAreDrawnThinAndSolidBetweenTheirTabledEndPoints) {
    const QImage image = window->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(image.width(), window->width()); // pixel ratio 1 under the test server
    const TwipsScale& scale = window->scale();
    for (const LinePlacement& line : kLines) {
        const int x1 = scale.edge(line.x1);
        const int y1 = scale.edge(line.y1);
        const int x2 = scale.edge(line.x2);
        const int y2 = scale.edge(line.y2);
        EXPECT_TRUE(isDark(image.pixel(x1, y1))) << line.name << " start";
        EXPECT_TRUE(isDark(image.pixel(x2, y2))) << line.name << " end";
        // Solid: every pixel along the line has ink.
        const int steps = std::max(std::abs(x2 - x1), std::abs(y2 - y1));
        for (int i = 0; i <= steps; ++i) {
            const int x = x1 + (x2 - x1) * i / steps;
            const int y = y1 + (y2 - y1) * i / steps;
            ASSERT_TRUE(darkNear(image, x, y)) << line.name << " at " << x << "," << y;
        }
    }
    // Thin: beside a horizontal and a vertical rule the window is not dark.
    EXPECT_FALSE(isDark(image.pixel(scale.edge(3000), scale.edge(1800) + 1)));
    EXPECT_FALSE(isDark(image.pixel(scale.edge(3000), scale.edge(1800) - 1)));
    EXPECT_FALSE(isDark(image.pixel(scale.edge(1200) + 1, scale.edge(600))));
    EXPECT_FALSE(isDark(image.pixel(scale.edge(1200) - 1, scale.edge(600))));
    // Inside frame A, away from its two branches, nothing is drawn.
    EXPECT_FALSE(isDark(image.pixel(scale.edge(720), scale.edge(780))));
}

TEST_F(MainWindow, FocusStartsOnTheFirstAnalyzeButtonAndTabCyclesInOrder) {
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    EXPECT_EQ(QApplication::focusWidget(), control("cmd2branchs"));
    std::vector<QString> visited;
    for (std::size_t i = 0; i < kTabOrder.size() + 1; ++i) {
        visited.push_back(QApplication::focusWidget()->objectName());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    const std::vector<QString> expected{"cmd2branchs", "txtC",  "cmd3branches",
                                        "txtC1",       "txtC2", "cmd2branchs"};
    EXPECT_EQ(visited, expected);
}

TEST_F(MainWindow, EnterAndEscapeInAFieldPressNoButton) {
    QLineEdit* edit = control<QLineEdit>("txtC");
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_Return);
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_EQ(presenter.calls, 0);
    EXPECT_TRUE(messages.texts.empty());
    EXPECT_TRUE(window->isVisible());
}

TEST_F(MainWindow, FieldsTakeLongTextUnchanged) {
    const QString longText = "0." + QString(40000, QLatin1Char('3'));
    control<QLineEdit>("txtC")->setText(longText);
    click("cmd2branchs");
    EXPECT_EQ(control<QLineEdit>("txtC")->text(), longText);
    EXPECT_EQ(presenter.calls, 1);
}

TEST_F(MainWindow, UsersDecimalSeparatorIsAccepted) {
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    control<QLineEdit>("txtC")->setText("0,3");
    click("cmd2branchs");
    QLocale::setDefault(previous);
    EXPECT_TRUE(messages.texts.empty());
    EXPECT_EQ(presenter.calls, 1);
}

TEST_F(MainWindow, ResizingMovesNothing) {
    std::vector<QRect> before;
    for (const ControlPlacement& placement : kControls) {
        before.push_back(control(placement.name)->geometry());
    }
    window->resize(window->width() * 2, window->height() * 2);
    ASSERT_TRUE(test::waitFor([&] { return window->width() > 600; }));
    window->resize(window->width() / 4, window->height() / 4);
    ASSERT_TRUE(test::waitFor([&] { return window->width() < 600; }));
    for (std::size_t i = 0; i < kControls.size(); ++i) {
        EXPECT_EQ(control(kControls[i].name)->geometry(), before[i]) << kControls[i].name;
    }
}

TEST(ProgramResources, WindowIconIsBuiltIn) {
    test::application();
    EXPECT_TRUE(QFile::exists(":/veltrane/veltrane.svg"));
    EXPECT_FALSE(QIcon(":/veltrane/veltrane.svg").pixmap(32, 32).isNull());
}

} // namespace
} // namespace veltrane
