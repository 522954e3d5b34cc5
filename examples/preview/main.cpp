// Shows a text file as the Zendrik component would print it: its pages one below the other in a
// scroll area, drawn only as they come into view. Page Up and Page Down move a page at a time.
//
//     zendrik-preview [FILE] [--grab PICTURE.png]
//
// --grab saves a picture of the window once the first page is shown, and quits.
#include <zendrik/zendrik.h>

#include <QApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>

#include <map>

namespace {

constexpr int kGap = 16; // pixels between pages and round them

// The pages of the component's document, one below the other; asks for a page only when it
// comes into view, and keeps a few.
class PagesView : public QWidget {
public:
    explicit PagesView(zendrik::Zendrik& document) : document_(document) {}

    // Takes the document as the component's members stand; false when it cannot be printed.
    bool reload() {
        pages_.clear();
        count_ = document_.PreviewPageCount();
        pageSize_ = count_ > 0 ? picture(1).size() / devicePixelRatioF() : QSize();
        setFixedSize(count_ > 0 ? QSize(pageSize_.width() + 2 * kGap, count_ * (pageSize_.height() + kGap) + kGap)
                                : QSize(0, 0));
        update();
        return count_ > 0;
    }
    int count() const { return count_; }
    // Where page n (from 1) starts.
    int top(int n) const { return kGap + (n - 1) * (pageSize_.height() + kGap); }
    int pageAt(int y) const { return std::clamp(y / (pageSize_.height() + kGap) + 1, 1, std::max(count_, 1)); }

protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter painter(this);
        painter.fillRect(event->rect(), palette().dark());
        if (count_ == 0)
            return;
        const int last = std::min(count_, pageAt(event->rect().bottom()));
        for (int n = pageAt(event->rect().top()); n <= last; ++n)
            painter.drawImage(QPoint(kGap, top(n)), picture(n));
    }

private:
    QImage picture(int n) {
        auto known = pages_.find(n);
        if (known != pages_.end())
            return known->second;
        // The pages in view and a few around them are kept; the component makes the others again.
        if (pages_.size() > 8)
            pages_.erase(std::abs(pages_.begin()->first - n) > std::abs(pages_.rbegin()->first - n)
                             ? pages_.begin()
                             : std::prev(pages_.end()));
        const qreal ratio = devicePixelRatioF();
        QImage image = document_.PreviewPage(n, logicalDpiY() * ratio);
        image.setDevicePixelRatio(ratio);
        return pages_[n] = image;
    }

    zendrik::Zendrik& document_;
    std::map<int, QImage> pages_;
    int count_ = 0;
    QSize pageSize_;
};

class PreviewWindow : public QMainWindow {
public:
    PreviewWindow() : view_(new PagesView(document_)) {
        scroll_ = new QScrollArea;
        scroll_->setWidget(view_);
        scroll_->setAlignment(Qt::AlignHCenter);
        scroll_->setBackgroundRole(QPalette::Dark);
        scroll_->installEventFilter(this);
        setCentralWidget(scroll_);
        scroll_->setFocus();
        QMenu* file = menuBar()->addMenu(tr("&File"));
        file->addAction(tr("&Open..."), QKeySequence::Open, this, [this] {
            const QString path = QFileDialog::getOpenFileName(this, tr("Open a text file"));
            if (!path.isEmpty())
                open(path);
        });
        file->addAction(tr("&Quit"), QKeySequence::Quit, this, &QWidget::close);
        statusBar();
        connect(scroll_->verticalScrollBar(), &QScrollBar::valueChanged, this, &PreviewWindow::showPosition);
        // A file's leading "@title", "@header" and "@footer" lines give those parts; a file
        // without them is all body.
        document_.setDocFileAllData(true);
        document_.setPrintPageNumbers(true);
        resize(900, 1000);
    }

    bool open(const QString& path) {
        document_.setDocFile(path);
        setWindowTitle(tr("%1 - Zendrik preview").arg(path));
        if (!view_->reload()) {
            QMessageBox::warning(this, tr("Zendrik preview"), document_.previewError());
            return false;
        }
        scroll_->verticalScrollBar()->setValue(0);
        showPosition();
        return true;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == scroll_ && event->type() == QEvent::KeyPress && view_->count() > 0) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_PageDown || key == Qt::Key_PageUp) {
                QScrollBar* bar = scroll_->verticalScrollBar();
                const int page = view_->pageAt(bar->value() + kGap) + (key == Qt::Key_PageDown ? 1 : -1);
                bar->setValue(view_->top(std::clamp(page, 1, view_->count())) - kGap);
                return true;
            }
        }
        return QMainWindow::eventFilter(watched, event);
    }

private:
    void showPosition() {
        if (view_->count() > 0)
            statusBar()->showMessage(tr("Page %1 of %2")
                                         .arg(view_->pageAt(scroll_->verticalScrollBar()->value() + kGap))
                                         .arg(view_->count()));
    }

    zendrik::Zendrik document_;
    PagesView* view_;
    QScrollArea* scroll_;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QString grab;
    if (const qsizetype at = args.indexOf(QStringLiteral("--grab")); at >= 0 && at + 1 < args.size()) {
        grab = args.at(at + 1);
        args.remove(at, 2);
    }
    PreviewWindow window;
    window.show();
    if (!args.isEmpty() && !window.open(args.first()))
        return 1;
    if (!grab.isEmpty()) {
        QTimer::singleShot(0, &window, [&] { QCoreApplication::exit(window.grab().save(grab) ? 0 : 1); });
    }
    return app.exec();
}
