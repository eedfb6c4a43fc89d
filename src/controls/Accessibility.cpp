#include "controls/Accessibility.h"

#include "controls/XPPalette.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>

namespace tavora {

namespace {

// Which of the interfaces below a label gets; read when its interface is made.
const char* const KindProperty = "accessibleKind";
const char* const AnnouncedKind = "announced";
const char* const LinkKind = "link";

QString labelName(const QLabel* label) {
    return label->accessibleName().isEmpty() ? label->text() : label->accessibleName();
}

// A result or progress text. Orca, the screen reader of Linux desktops, speaks
// a notification when it is shown, whatever has the focus; a name change it
// speaks only for the object that has the focus.
class AnnouncedLabelAccessible : public QAccessibleWidget {
public:
    explicit AnnouncedLabelAccessible(QLabel* label) : QAccessibleWidget(label, QAccessible::Notification) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name)
            return labelName(static_cast<QLabel*>(widget()));
        return QAccessibleWidget::text(t);
    }
};

class LinkLabelAccessible : public QAccessibleWidget {
public:
    explicit LinkLabelAccessible(QLabel* label) : QAccessibleWidget(label, QAccessible::Link) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name)
            return labelName(static_cast<QLabel*>(widget()));
        if (t == QAccessible::Description)
            return widget()->toolTip();
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.linked = true;
        return state;
    }

    QStringList actionNames() const override {
        return QStringList{pressAction()} + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& actionName) override {
        if (actionName == pressAction()) {
            auto* label = static_cast<QLabel*>(widget());
            emit label->linkActivated(label->text());
            return;
        }
        QAccessibleWidget::doAction(actionName);
    }
};

// A container whose hidden children are no part of it: the pages not shown,
// the panel of a device list that is not empty. Qt lists hidden children too,
// merely without the showing state, and a screen reader's review of the
// window then reads them.
class ShownPartsAccessible : public QAccessibleWidget {
public:
    using QAccessibleWidget::QAccessibleWidget;

    int childCount() const override { return int(shownChildren().size()); }

    QAccessibleInterface* child(int index) const override {
        const QList<QWidget*> children = shownChildren();
        return index >= 0 && index < children.size() ? QAccessible::queryAccessibleInterface(children[index])
                                                     : nullptr;
    }

    int indexOfChild(const QAccessibleInterface* child) const override {
        if (!child)
            return -1;
        return int(shownChildren().indexOf(qobject_cast<QWidget*>(child->object())));
    }

private:
    QList<QWidget*> shownChildren() const {
        QList<QWidget*> shown;
        for (QObject* object : widget()->children())
            if (auto* child = qobject_cast<QWidget*>(object);
                child && !child->isWindow() && !child->isHidden())
                shown << child;
        return shown;
    }
};

QAccessibleInterface* accessibleFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("QLabel")) {
        auto* label = qobject_cast<QLabel*>(object);
        const QByteArray kind = label ? label->property(KindProperty).toByteArray() : QByteArray();
        if (kind == AnnouncedKind)
            return new AnnouncedLabelAccessible(label);
        if (kind == LinkKind)
            return new LinkLabelAccessible(label);
        return nullptr;
    }
    // Reached for widgets of no class with an interface of its own: the
    // panels and frames that hold the pages and their parts, and the wizard's
    // window. Qt calls a plain window a filler and a frame inside it a frame,
    // the role of a window; Orca then takes a page for the window the focus
    // is in, finds it never active, and says nothing when the focus moves.
    const bool frame = className == QLatin1String("QFrame");
    if (frame || className == QLatin1String("QWidget")) {
        auto* widget = qobject_cast<QWidget*>(object);
        if (!widget)
            return nullptr;
        if (!widget->isWindow())
            return new ShownPartsAccessible(widget, frame ? QAccessible::Pane : QAccessible::Client);
        if (!frame)
            return new QAccessibleWidget(widget, QAccessible::Window);
    }
    return nullptr;
}

// An interface made before the kind was set (a text set while the form was
// built announces a name change, which makes one) is dropped, so that the
// next question makes the right one.
void setKind(QLabel* label, const char* kind) {
    label->setProperty(KindProperty, QByteArray(kind));
    QAccessibleInterface* made = QAccessible::queryAccessibleInterface(label);
    const bool right = kind == LinkKind ? dynamic_cast<LinkLabelAccessible*>(made) != nullptr
                                        : dynamic_cast<AnnouncedLabelAccessible*>(made) != nullptr;
    if (made && !right)
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
}

// Keyboard and focus frame of a link label.
class LinkLabelKeys : public QObject {
public:
    explicit LinkLabelKeys(QLabel* label) : QObject(label), label_(label) {
        label->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != label_)
            return false;
        switch (event->type()) {
        case QEvent::KeyPress: {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key != Qt::Key_Space && key != Qt::Key_Return && key != Qt::Key_Enter)
                return false;
            emit label_->linkActivated(label_->text());
            return true;
        }
        case QEvent::FocusIn:
        case QEvent::FocusOut:
            label_->update();
            return false;
        case QEvent::Paint: {
            // The label paints itself as always (the filter is passed by);
            // the focus frame goes on top, around the text.
            static_cast<QObject*>(label_)->event(event);
            if (label_->hasFocus()) {
                QPainter p(label_);
                p.setPen(QPen(XPPalette::focus, 1, Qt::DotLine));
                const QRect text = label_->fontMetrics().boundingRect(
                    label_->contentsRect(), int(label_->alignment()), label_->text());
                p.drawRect(text.adjusted(-1, 0, 0, -1).intersected(label_->rect().adjusted(0, 0, -1, -1)));
            }
            return true;
        }
        default:
            return false;
        }
    }

private:
    QLabel* label_;
};

// The widget whose showing and hiding a screen reader is not told of, while
// setVisibleQuietly runs.
QWidget* quietWidget = nullptr;
QAccessible::UpdateHandler outerUpdateHandler = nullptr;

void quietUpdateHandler(QAccessibleEvent* event) {
    if ((event->type() == QAccessible::ObjectShow || event->type() == QAccessible::ObjectHide) &&
        event->object() == quietWidget)
        return;
    if (outerUpdateHandler) {
        outerUpdateHandler(event);
        return;
    }
    // Without a handler Qt hands the event to the desktop's accessibility
    // bridge.
    QAccessible::installUpdateHandler(nullptr);
    QAccessible::updateAccessibility(event);
    QAccessible::installUpdateHandler(quietUpdateHandler);
}

} // namespace

void installAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(accessibleFactory);
        return true;
    }();
    (void)installed;
}

// An empty result label is hidden (it shows nothing anyway), so that a page
// shown before its first result does not announce an empty notification.
void makeAnnouncedLabel(QLabel* label) {
    setKind(label, AnnouncedKind);
    if (label->text().isEmpty())
        label->hide();
}

void announce(QLabel* label) {
    const bool wasShown = label->isVisible();
    // Showing an empty label announces it; a hidden page announces nothing.
    label->setVisible(!label->text().isEmpty());
    if (wasShown && label->isVisible()) {
        QAccessibleEvent shown(label, QAccessible::ObjectShow);
        QAccessible::updateAccessibility(&shown);
    }
}

void setVisibleQuietly(QWidget* widget, bool visible) {
    if (!QAccessible::isActive() || quietWidget) {
        widget->setVisible(visible);
        return;
    }
    quietWidget = widget;
    outerUpdateHandler = QAccessible::installUpdateHandler(quietUpdateHandler);
    widget->setVisible(visible);
    QAccessible::installUpdateHandler(outerUpdateHandler);
    outerUpdateHandler = nullptr;
    quietWidget = nullptr;
}

void switchEnabled(QWidget* off, QWidget* on) {
    on->setEnabled(true);
    if (off->hasFocus())
        on->setFocus(Qt::OtherFocusReason);
    off->setEnabled(false);
}

void makeKeyboardLink(QLabel* label) {
    label->setFocusPolicy(Qt::TabFocus);
    new LinkLabelKeys(label);
    setKind(label, LinkKind);
}

} // namespace tavora
