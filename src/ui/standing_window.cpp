#include "ui/standing_window.h"

#include <algorithm>

#include <QBoxLayout>
#include <QCloseEvent>
#include <QLabel>
#include <QScreen>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

namespace evkit::app {

StandingWindow::StandingWindow(AppContext& ctx, std::string menuItem, const QString& title,
                               QWidget* parent)
    : QWidget(parent, Qt::Window), ctx_(ctx), menuItem_(std::move(menuItem)) {
    setWindowTitle(title);
}

void StandingWindow::openFromMenu() {
    if (ctx_.setMenuChecked && !menuItem_.empty()) ctx_.setMenuChecked(menuItem_, true);
    show();
    raise();
    activateWindow();
    onOpened();
}

QWidget* StandingWindow::scrollingContent() {
    if (content_) return content_;
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* area = new QScrollArea(this);
    area->setObjectName("WINDOW_SCROLL");
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    content_ = new QWidget(area);
    content_->setObjectName("WINDOW_CONTENT");
    area->setWidget(content_);
    outer->addWidget(area);
    return content_;
}

void StandingWindow::fitToScreen(QSize preferred) {
    QSize wanted = preferred;
    if (!wanted.isValid()) {
        wanted = content_ ? content_->sizeHint() : sizeHint();
        if (content_) wanted += QSize(4, 4);
    }
    resize(fittedToScreen(*this, wanted));
}

QSize fittedToScreen(const QWidget& window, QSize wanted) {
    if (const QScreen* s = window.screen()) {
        // Room for the title bar and the frame.
        const QSize room = s->availableGeometry().size() - QSize(16, 48);
        wanted = wanted.boundedTo(room);
    }
    return wanted;
}

void StandingWindow::showNotice(const QString& text) {
    static const char* const kNoticeStyle =
        "QLabel { background: #fff4c2; color: black; border: 1px solid #c8a800; "
        "padding: 4px 8px; }";
    if (!notice_) {
        notice_ = new QLabel(this);
        notice_->setObjectName("WINDOW_NOTICE");
        notice_->setWordWrap(true);
        auto* timer = new QTimer(notice_);
        timer->setObjectName("WINDOW_NOTICE_TIMER");
        timer->setSingleShot(true);
        timer->setInterval(6000);
        // The line keeps its place once it has been needed, so the controls above it do not
        // move when the notice goes.
        connect(timer, &QTimer::timeout, notice_, [label = notice_] {
            label->clear();
            label->setStyleSheet("QLabel { padding: 4px 8px; border: 1px solid transparent; }");
        });
        // A status line of its own at the foot of the window: it never covers a control.
        if (auto* box = qobject_cast<QBoxLayout*>(layout())) box->addWidget(notice_);
    }
    notice_->setText(text);
    notice_->setToolTip(text);
    notice_->setStyleSheet(kNoticeStyle);
    if (!notice_->parentWidget()->layout() ||
        notice_->parentWidget()->layout()->indexOf(notice_) < 0) {
        // A window without a box layout: the notice lies over its foot.
        const int margin = 8;
        notice_->setFixedWidth(std::max(120, width() - 2 * margin));
        notice_->adjustSize();
        notice_->move(margin, std::max(0, height() - notice_->height() - margin));
        notice_->raise();
    }
    notice_->show();
    if (layout() && layout()->indexOf(notice_) >= 0) {
        // The line is as tall as the text needs at the window's width; a narrow window grows
        // so that the whole text fits.
        layout()->activate();
        const int needed = notice_->heightForWidth(notice_->width());
        notice_->setMinimumHeight(std::max(notice_->minimumHeight(), needed));
        if (const int missing = needed - notice_->height(); missing > 0)
            resize(width(), height() + missing);
        layout()->activate();
    }
    if (auto* timer = notice_->findChild<QTimer*>("WINDOW_NOTICE_TIMER")) timer->start();
}

void StandingWindow::closeEvent(QCloseEvent* event) {
    onClosing();
    if (ctx_.setMenuChecked && !menuItem_.empty()) ctx_.setMenuChecked(menuItem_, false);
    hide();
    event->ignore();  // standing windows are hidden, never destroyed
}

}  // namespace evkit::app
