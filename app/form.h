#pragma once
// Base of the application's three windows. A window instance lives as long as the application;
// it is either unloaded (no controls) or loaded (controls created with their design-time values
// and its load step run). Showing an unloaded window loads it first; reading or setting one of
// its controls through ensureLoaded() loads it and leaves it hidden.

#include "centerform.h"

#include <QWidget>

#include <stdexcept>

namespace demo {

// A window asked for a control it does not have, or that is of another kind: a fault in the
// program, reported through the application's handling of untrapped errors.
class ControlError : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

class Form : public QWidget, public CenterableWindow {
    Q_OBJECT
public:
    explicit Form(const QString& kindName);
    ~Form() override;

    bool isLoaded() const { return client_ != nullptr; }
    // Loads the window (hidden) when it is not loaded.
    void ensureLoaded();
    // Modeless, without owner; loads first when needed.
    void showForm();
    void hideForm();
    // Runs the unload step, then destroys the controls. Only a window's own handlers call it.
    void unloadForm();
    // Destroys the controls without the unload step: the application is ending.
    void discard();
    // Paints the window now.
    void refreshForm();

    // Outer geometry in twips, for CenterForm.
    float Width() const override;
    float Height() const override;
    void setLeft(float twips) override;
    void setTop(float twips) override;
    float Left() const { return left_; }
    float Top() const { return top_; }

    // The widget that holds the controls while loaded; null when unloaded.
    QWidget* client() const { return client_; }

    // The control named `name`, loading the window (hidden) when it is not loaded. Throws
    // ControlError when there is no such control or it is not a W.
    template <class W> W* control(const QString& name) {
        ensureLoaded();
        QObject* found = client_->findChild<QObject*>(name);
        if (W* typed = qobject_cast<W*>(found)) {
            return typed;
        }
        throwControlError(name, found, W::staticMetaObject.className());
    }

protected:
    // Creates the controls with their design-time values inside `client`.
    virtual void createControls(QWidget* client) = 0;
    // The window's load step, run after the controls exist and before it is shown.
    virtual void onLoad() {}
    // The window's unload step, run while the controls still exist.
    virtual void onUnload() {}

    // Sets the size of the client area in twips.
    void setClientSizeTwips(int width, int height);

    void closeEvent(QCloseEvent* event) override;

private:
    [[noreturn]] void throwControlError(const QString& name, const QObject* found, const char* wanted) const;

    QWidget* client_ = nullptr;
    QSize clientSize_;
    float left_ = 0;
    float top_ = 0;
    bool unloading_ = false;
};

} // namespace demo
