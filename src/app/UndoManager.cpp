#include "UndoManager.h"

#include <QTimer>
#include <QUndoCommand>

namespace zembrix {

namespace {
constexpr int kUndoLimit = 500; // steps
}

// One undo step: the closures that undo it and, once undone, those that redo
// it. Each run collects the closures registered meanwhile as the other list.
class ClosureStep : public QUndoCommand
{
public:
    explicit ClosureStep(UndoManager *manager)
        : m_manager(manager)
    {
    }

    void add(std::function<void()> closure) { m_undo.push_back(std::move(closure)); }

    void undo() override { run(m_undo, m_redo); }
    void redo() override
    {
        // QUndoStack::push redoes at once; the change has already happened.
        if (m_pushed) {
            run(m_redo, m_undo);
            return;
        }
        m_pushed = true;
    }

    // Closures of the run are registered into `collected` through the manager.
    std::vector<std::function<void()>> *collecting = nullptr;

private:
    void run(std::vector<std::function<void()>> &from, std::vector<std::function<void()>> &to)
    {
        std::vector<std::function<void()>> closures;
        closures.swap(from);
        to.clear();
        collecting = &to;
        ClosureStep *outer = m_manager->m_running;
        m_manager->m_running = this;
        for (auto it = closures.rbegin(); it != closures.rend(); ++it)
            (*it)();
        m_manager->m_running = outer;
        collecting = nullptr;
    }

    UndoManager *m_manager;
    std::vector<std::function<void()>> m_undo;
    std::vector<std::function<void()>> m_redo;
    bool m_pushed = false;
};

UndoManager::UndoManager(QObject *parent)
    : QObject(parent)
{
    m_stack.setUndoLimit(kUndoLimit);
    connect(&m_stack, &QUndoStack::canUndoChanged, this, &UndoManager::changed);
    connect(&m_stack, &QUndoStack::canRedoChanged, this, &UndoManager::changed);
    connect(&m_stack, &QUndoStack::undoTextChanged, this, &UndoManager::changed);
    connect(&m_stack, &QUndoStack::redoTextChanged, this, &UndoManager::changed);
}

UndoManager::~UndoManager()
{
    // Closures may capture objects destroyed with the owner; none runs now.
    m_open = nullptr;
    m_stack.clear();
}

void UndoManager::registerUndo(std::function<void()> undo)
{
    if (!undo)
        return;
    if (m_running) {
        if (m_running->collecting)
            m_running->collecting->push_back(std::move(undo));
        return;
    }
    if (!m_open) {
        auto *step = new ClosureStep(this);
        step->add(std::move(undo));
        m_open = step;
        m_stack.push(step);
    } else {
        m_open->add(std::move(undo));
    }
    scheduleClose();
}

void UndoManager::setActionName(const QString &name)
{
    if (m_running || !m_open || !m_open->text().isEmpty())
        return;
    m_open->setText(name);
    emit changed();
}

void UndoManager::hold()
{
    m_held = true;
}

void UndoManager::release()
{
    m_held = false;
    scheduleClose();
}

void UndoManager::scheduleClose()
{
    if (m_closeScheduled)
        return;
    m_closeScheduled = true;
    QTimer::singleShot(0, this, [this] {
        m_closeScheduled = false;
        if (!m_held)
            m_open = nullptr;
    });
}

void UndoManager::closeStep()
{
    m_open = nullptr;
}

void UndoManager::clear()
{
    m_open = nullptr;
    m_held = false;
    m_stack.clear();
}

void UndoManager::undo()
{
    if (m_running)
        return;
    closeStep();
    m_held = false;
    m_stack.undo();
}

void UndoManager::redo()
{
    if (m_running)
        return;
    closeStep();
    m_held = false;
    m_stack.redo();
}

} // namespace zembrix
