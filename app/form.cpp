#include "form.h"

#include "twips.h"
#include "windowregistry.h"

#include <QCloseEvent>
#include <QCoreApplication>

#include <cmath>

namespace demo {

Form::Form(const QString& kindName) : QWidget(nullptr) {
    setObjectName(kindName);
    setAttribute(Qt::WA_DeleteOnClose, false);
}

Form::~Form() = default;

void Form::ensureLoaded() {
    if (isLoaded()) {
        return;
    }
    client_ = new QWidget(this);
    client_->setObjectName(QStringLiteral("client"));
    client_->setGeometry(QRect(QPoint(0, 0), clientSize_.isValid() ? clientSize_ : size()));
    createControls(client_);
    client_->show();
    onLoad();
}

void Form::showForm() {
    ensureLoaded();
    show();
    raise();
    activateWindow();
    WindowRegistry::instance().scheduleEndCheck();
}

void Form::hideForm() {
    ensureLoaded();
    hide();
    WindowRegistry::instance().scheduleEndCheck();
}

void Form::unloadForm() {
    if (!isLoaded() || unloading_) {
        return;
    }
    unloading_ = true;
    onUnload();
    discard();
    unloading_ = false;
    WindowRegistry::instance().scheduleEndCheck();
}

void Form::discard() {
    hide();
    delete client_;
    client_ = nullptr;
}

void Form::refreshForm() {
    ensureLoaded();
    repaint();
    QCoreApplication::sendPostedEvents(this, 0);
}

float Form::Width() const {
    return static_cast<float>(frameGeometry().width() * kTwipsPerPixel);
}

float Form::Height() const {
    return static_cast<float>(frameGeometry().height() * kTwipsPerPixel);
}

void Form::setLeft(float twips) {
    left_ = twips;
    move(static_cast<int>(std::lround(twips / kTwipsPerPixel)), pos().y());
}

void Form::setTop(float twips) {
    top_ = twips;
    move(pos().x(), static_cast<int>(std::lround(twips / kTwipsPerPixel)));
}

void Form::setClientSizeTwips(int width, int height) {
    // The controls keep their designed places whatever size the window is given later.
    clientSize_ = QSize(twipsToPixels(width), twipsToPixels(height));
    resize(clientSize_);
    if (client_) {
        client_->resize(clientSize_);
    }
}

void Form::throwControlError(const QString& name, const QObject* found, const char* wanted) const {
    const QString problem = found ? QStringLiteral("control %1 of %2 is a %3, not a %4")
                                        .arg(name, objectName(), QString::fromLatin1(found->metaObject()->className()),
                                             QString::fromLatin1(wanted))
                                  : QStringLiteral("%1 has no control named %2").arg(objectName(), name);
    throw ControlError(problem.toStdString());
}

void Form::closeEvent(QCloseEvent* event) {
    // The close box unloads the window.
    event->accept();
    unloadForm();
}

} // namespace demo
