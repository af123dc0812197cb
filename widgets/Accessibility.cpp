#include <QAccessible>
#include <QAccessibleWidget>
#include <QWidget>
#include <veltrane/widgets/Accessibility.h>

namespace veltrane::widgets {

namespace {

constexpr const char* kDecorative = "veltraneDecorative";
constexpr const char* kImage = "veltraneImage";

bool isDecorative(const QObject* object) {
    return object != nullptr && object->property(kDecorative).toBool();
}

// A window and its children less the decorative ones.
class WindowInterface : public QAccessibleWidget {
public:
    explicit WindowInterface(QWidget* window) : QAccessibleWidget(window, QAccessible::Window) {}

    int childCount() const override { return static_cast<int>(shownChildren().size()); }

    QAccessibleInterface* child(int index) const override { return shownChildren().value(index); }

    int indexOfChild(const QAccessibleInterface* child) const override {
        // -1 for a decorative child, as for one of another window.
        return static_cast<int>(shownChildren().indexOf(const_cast<QAccessibleInterface*>(child)));
    }

private:
    QList<QAccessibleInterface*> shownChildren() const {
        QList<QAccessibleInterface*> shown;
        for (int i = 0; i < QAccessibleWidget::childCount(); ++i) {
            QAccessibleInterface* c = QAccessibleWidget::child(i);
            if (c != nullptr && !isDecorative(c->object())) {
                shown.append(c);
            }
        }
        return shown;
    }
};

// Qt asks the factories about each class of an object from the most derived up, so a class
// that Qt's own factory knows (a dialog, a message box) is answered before the plain QWidget
// this one looks for.
QAccessibleInterface* accessibleRoles(const QString& className, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (widget == nullptr) {
        return nullptr;
    }
    // Answered for the most derived class, before Qt's own factory answers for a base.
    if (widget->property(kImage).toBool() &&
        className == QLatin1String(widget->metaObject()->className())) {
        return new QAccessibleWidget(widget, QAccessible::Graphic);
    }
    if (className == QLatin1String("QWidget") && widget->isWindow()) {
        return new WindowInterface(widget);
    }
    return nullptr;
}

} // namespace

void installAccessibleRoles() {
    QAccessible::installFactory(accessibleRoles); // once: Qt ignores a factory it already has
}

void markDecorative(QWidget& widget) {
    widget.setProperty(kDecorative, true);
}

void markImage(QWidget& widget) {
    widget.setProperty(kImage, true);
}

} // namespace veltrane::widgets
