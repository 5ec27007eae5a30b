#include "ui/edit_commit.h"

#include <QAbstractSpinBox>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QWheelEvent>

namespace evkit::app {

namespace {

// Eats wheel events of a widget without focus (the scroll goes to the parent instead).
class WheelGuard : public QObject {
  public:
    explicit WheelGuard(QWidget* widget) : QObject(widget), widget_(widget) {
        widget->setFocusPolicy(Qt::StrongFocus);  // a wheel turn does not take the focus
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == widget_ && event->type() == QEvent::Wheel && !widget_->hasFocus()) {
            event->ignore();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    QWidget* widget_;
};

// Marks a spin box as edited when the user types or steps it; commits on editingFinished.
class SpinEditWatch : public QObject {
  public:
    SpinEditWatch(QAbstractSpinBox* box, std::function<void()> commit)
        : QObject(box), box_(box), commit_(std::move(commit)) {
        if (auto* line = box->findChild<QLineEdit*>())
            connect(line, &QLineEdit::textEdited, this, [this] { edited_ = true; });
        connect(box, &QAbstractSpinBox::editingFinished, this, [this] {
            if (!edited_) return;
            edited_ = false;
            commit_();
        });
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != box_ || box_->isReadOnly()) return QObject::eventFilter(watched, event);
        switch (event->type()) {
            case QEvent::KeyPress: {
                const int key = static_cast<QKeyEvent*>(event)->key();
                if (key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp ||
                    key == Qt::Key_PageDown)
                    edited_ = true;
                break;
            }
            case QEvent::Wheel:
                if (!box_->hasFocus()) {
                    event->ignore();
                    return true;
                }
                edited_ = true;
                break;
            case QEvent::MouseButtonPress:
                // A press on the box itself (not its text) is a press on a step button.
                if (box_->buttonSymbols() != QAbstractSpinBox::NoButtons) edited_ = true;
                break;
            default:
                break;
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    QAbstractSpinBox* box_;
    std::function<void()> commit_;
    bool edited_ = false;
};

}  // namespace

void commitOnEdit(QLineEdit* edit, std::function<void()> commit) {
    // QLineEdit's modified flag is set by typing only and cleared by setText().
    QObject::connect(edit, &QLineEdit::editingFinished, edit, [edit, commit = std::move(commit)] {
        if (!edit->isModified()) return;
        edit->setModified(false);
        commit();
    });
}

void commitOnEdit(QAbstractSpinBox* box, std::function<void()> commit) {
    box->setFocusPolicy(Qt::StrongFocus);
    box->installEventFilter(new SpinEditWatch(box, std::move(commit)));
}

void ignoreWheelUnlessFocused(QWidget* widget) {
    widget->installEventFilter(new WheelGuard(widget));
}

}  // namespace evkit::app
