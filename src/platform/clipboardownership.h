#pragma once

#include <QObject>

#include <cstdint>

namespace corvane {

// Who holds the clipboard, as far as keeping its contents alive needs it. Every ownership of
// the clipboard (a copy) gets a number of its own, growing with each; the object tells when
// the owner of a copy went away without handing it over, and can act as the session's
// clipboard manager, which applications ask to save their clipboard when they exit. Signals
// are delivered from the event loop, never from inside a call.
class ClipboardOwnership : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    ~ClipboardOwnership() override;

    // The number of the copy whose owner took the clipboard last, after catching up with every
    // change made so far (an owner that has exited since still counts); 0 when unknown.
    virtual std::uint64_t currentCopy() = 0;

    // Takes the clipboard manager's role unless another client holds it; true when this
    // object holds it afterwards. Never takes it away from another manager.
    virtual bool claimManager() = 0;
    // Gives the role up; nothing when it is not held.
    virtual void releaseManager() = 0;
    virtual bool isManager() const = 0;

    // Answers a save request: whether the clipboard was taken over, so that the application
    // that asked can exit. Unknown or already answered requests are ignored.
    virtual void answerSave(std::uint64_t request, bool saved) = 0;

Q_SIGNALS:
    // The owner of this copy went away (its window destroyed, its connection closed) while it
    // held the clipboard, which is now empty.
    void ownerVanished(std::uint64_t copy);
    // An application that holds this copy is exiting and asks for it to be kept; answer with
    // answerSave.
    void saveRequested(std::uint64_t request, std::uint64_t copy);
    // Another client took the manager's role.
    void managerLost();
};

} // namespace corvane
