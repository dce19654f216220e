#pragma once

#include <QtGlobal>

#include <atomic>
#include <memory>

namespace zembrix {

// A count of work units that several threads spend from (the operators of
// tint transforms, for one file and for the whole run). Units are taken in
// chunks and what a caller did not use is given back. A budget may name an
// outer one that the same work is spent from too (a file's, the run's). Any
// thread.
class WorkBudget
{
public:
    explicit WorkBudget(qint64 units, std::shared_ptr<WorkBudget> outer = nullptr)
        : m_left(units)
        , m_outer(std::move(outer))
    {
    }
    WorkBudget(const WorkBudget &) = delete;
    WorkBudget &operator=(const WorkBudget &) = delete;

    // Takes `units`; false, taking nothing, when fewer are left.
    bool take(qint64 units)
    {
        qint64 left = m_left.load();
        do {
            if (units < 0 || left < units)
                return false;
        } while (!m_left.compare_exchange_weak(left, left - units));
        return true;
    }
    void giveBack(qint64 units)
    {
        if (units > 0)
            m_left += units;
    }
    qint64 left() const { return m_left.load(); }
    WorkBudget *outer() const { return m_outer.get(); }

private:
    std::atomic<qint64> m_left;
    const std::shared_ptr<WorkBudget> m_outer;
};

} // namespace zembrix
