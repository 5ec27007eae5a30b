#include "ui/qt_seams.h"

#include <QApplication>
#include <QFileDialog>
#include <QFontDatabase>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QThread>
#include <QTime>
#include <QVBoxLayout>
#include <memory>

#include "ui/user_commands.h"

namespace evkit::app {

namespace {

QString qs(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

bool onUiThread() {
    return qApp && QThread::currentThread() == qApp->thread();
}

}  // namespace

void QtMessages::show(std::string_view title, std::string_view text) {
    const QString t = qs(title), m = qs(text);
    if (!qApp) return;
    if (!onUiThread()) {
        QMetaObject::invokeMethod(
            qApp, [this, t, m] { show(t.toStdString(), m.toStdString()); }, Qt::QueuedConnection);
        return;
    }
    const bool error = t.contains("Error", Qt::CaseInsensitive);
    QMessageBox box(error ? QMessageBox::Warning : QMessageBox::Information, t, m, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

QtConsole::QtConsole() : commands_(std::make_unique<UserCommandTracker>()) {
    window_ = new QWidget(nullptr, Qt::Window);
    window_->setObjectName("console");
    window_->setWindowTitle("Console");
    window_->setAttribute(Qt::WA_ShowWithoutActivating);
    text_ = new QPlainTextEdit(window_);
    text_->setReadOnly(true);
    text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* layout = new QVBoxLayout(window_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(text_);
    window_->resize(450, 250);
    window_->move(200, 200);
}

QtConsole::~QtConsole() {
    delete window_.data();
}

void QtConsole::print(std::string_view text) {
    const QString t = qs(text);
    if (!onUiThread()) {
        QMetaObject::invokeMethod(
            qApp, [this, t] { append(t); }, Qt::QueuedConnection);
        return;
    }
    append(t);
}

void QtConsole::append(const QString& text) {
    if (!window_) return;
    // Every line starts with its time and the command that caused it, or else the window
    // the user was working in.
    const QWidget* active = QApplication::activeWindow();
    QString source = commands_->lastCommand();
    if (source.isEmpty())
        source = active && active != window_ && !active->windowTitle().isEmpty()
                     ? active->windowTitle()
                     : QString("EVKIT714");
    const QString stamp = QTime::currentTime().toString("HH:mm:ss") + " [" + source + "] ";
    QString stamped;
    for (const QChar c : text) {
        if (atLineStart_) stamped += stamp;
        stamped += c;
        atLineStart_ = c == '\n';
    }
    text_->moveCursor(QTextCursor::End);
    text_->insertPlainText(stamped);
    text_->moveCursor(QTextCursor::End);
    if (!window_->isVisible()) window_->show();
}

void QtConsole::hide() {
    if (!onUiThread()) {
        QMetaObject::invokeMethod(
            qApp, [this] { hide(); }, Qt::QueuedConnection);
        return;
    }
    if (window_) window_->hide();
}

void QtPump::processEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

QString QtFileDialogs::filterFor(const std::string& pattern) {
    QString p = QString::fromStdString(pattern).trimmed();
    p.replace(';', ' ');
    if (p.isEmpty() || p == "*" || p == "*.*") return "All files (*)";
    return p + " files (" + p + ");;All files (*)";
}

std::optional<std::string> QtFileDialogs::openFile(const std::string& title,
                                                   const std::string& pattern) {
    const QString path = QFileDialog::getOpenFileName(
        QApplication::activeWindow(), QString::fromStdString(title), QString(), filterFor(pattern));
    if (path.isEmpty()) return std::nullopt;
    return path.toStdString();
}

std::optional<std::string> QtFileDialogs::saveFile(const std::string& title,
                                                   const std::string& pattern,
                                                   const std::string& suggestedName) {
    const QString path =
        QFileDialog::getSaveFileName(QApplication::activeWindow(), QString::fromStdString(title),
                                     QString::fromStdString(suggestedName), filterFor(pattern));
    if (path.isEmpty()) return std::nullopt;
    return path.toStdString();
}

}  // namespace evkit::app

namespace evkit::app {

void QtFileDialogs::saveFileLater(const std::string& title, const std::string& pattern,
                                  const std::string& suggestedName, Answer done) {
    auto* dialog = new QFileDialog(QApplication::activeWindow(), QString::fromStdString(title),
                                   QString::fromStdString(suggestedName), filterFor(pattern));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setWindowModality(Qt::NonModal);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    auto answered = std::make_shared<bool>(false);
    QObject::connect(dialog, &QFileDialog::fileSelected, dialog,
                     [done, answered](const QString& path) {
                         if (*answered) return;
                         *answered = true;
                         if (path.isEmpty())
                             done(std::nullopt);
                         else
                             done(path.toStdString());
                     });
    QObject::connect(dialog, &QDialog::finished, dialog, [done, answered](int) {
        if (*answered) return;
        *answered = true;
        done(std::nullopt);
    });
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

}  // namespace evkit::app
