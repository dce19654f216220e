#pragma once

#include <QObject>
#include <QString>
#include <QUndoStack>

#include <functional>
#include <vector>

namespace zembrix {

class ClosureStep;

// The window's one undo history, over QUndoStack. The core registers
// closures that restore a previous state (registerUndo); every closure
// registered while one user action is handled joins the same step, which
// closes when control returns to the event loop. So an edit of ten selected
// images is one step. A slider drag holds its step open from press to
// release (hold/release), so that one drag is one step.
//
// Undoing a step runs its closures newest first; each closure registers its
// own redo as it runs, and those become the step's redo closures (and the
// same in turn for redo). Main thread only.
class UndoManager : public QObject
{
    Q_OBJECT
public:
    explicit UndoManager(QObject *parent = nullptr);
    ~UndoManager() override;

    void registerUndo(std::function<void()> undo);
    // Names the open step ("Undo Rotate"); ignored while a step is undone
    // or redone, or when no step is open. The first name given sticks.
    void setActionName(const QString &name);

    // Keeps the open (or next) step open across event-loop returns.
    void hold();
    // Ends a hold; the step closes at the next return to the event loop.
    void release();

    bool canUndo() const { return m_stack.canUndo(); }
    bool canRedo() const { return m_stack.canRedo(); }
    QString undoText() const { return m_stack.undoText(); }
    QString redoText() const { return m_stack.redoText(); }
    int count() const { return m_stack.count(); }
    bool isRunning() const { return m_running != nullptr; }

    void undo();
    void redo();
    // Closes the open step now.
    void closeStep();
    // Forgets every step (their closures may hold records).
    void clear();

signals:
    // canUndo, canRedo or their texts may have changed.
    void changed();

private:
    friend class ClosureStep;
    void scheduleClose();

    QUndoStack m_stack;
    ClosureStep *m_open = nullptr;    // owned by the stack
    ClosureStep *m_running = nullptr; // the step being undone or redone
    bool m_held = false;
    bool m_closeScheduled = false;
};

} // namespace zembrix
