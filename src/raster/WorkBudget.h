#pragma once

#include <QtGlobal>

#include <atomic>

// A count of work units that several threads spend from (the operators of
// tint transforms, for one file and for the whole run). Units are taken in
// chunks and what a caller did not use is given back. Any thread.
class WorkBudget
{
public:
    explicit WorkBudget(qint64 units)
        : m_left(units)
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

private:
    std::atomic<qint64> m_left;
};
