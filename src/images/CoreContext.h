#pragma once

#include "images/CoreEvents.h"
#include "images/PictureCache.h"
#include "raster/ColorManagement.h"
#include "raster/WorkBudget.h"

#include <QtGlobal>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class QThreadPool;

namespace zembrix {

// What the core's records and jobs share within one run of the application:
// the events they report to, the worker threads they run on, the picture
// cache, the colour transforms, the run's budget for tint transforms and the
// count of running parses. A file record gets it when it is made and hands it
// to its image records; an export job gets it when it starts. Shared: the
// records hold it.
//
// The events and the pool belong to whoever made the context (the window's
// controller, a headless run, a test); that owner joins its pool and then
// calls detach() before they go away. Without events the context reports to
// do-nothing ones; without a pool, nothing can be started on it.
//
// Threads: any thread. The events and the pool are set at construction and
// cleared once by detach(), after the pool is joined.
class CoreContext
{
public:
    // Do-nothing events, no pool.
    CoreContext();
    CoreContext(CoreEvents *events, QThreadPool *pool);
    CoreContext(const CoreContext &) = delete;
    CoreContext &operator=(const CoreContext &) = delete;
    ~CoreContext();

    CoreEvents &events() const;
    // The owner's pool is joined: from now on the events do nothing and no
    // work can be started.
    void detach();

    // Runs `task` on a worker of the pool. False, running nothing, when there
    // is no pool.
    bool start(std::function<void()> task) const;
    // The same for a file's parse: at most parsesAtOnce() parses hold workers
    // at a time, so that thumbnails and exports still find one; the others
    // wait, in order, for a running one to end.
    bool startParse(std::function<void()> task);
    static int parsesAtOnce(); // one per core
    // Parses started and not yet ended; each counts itself in and out.
    std::atomic<int> &runningParses() { return m_runningParses; }

    // The full-size pictures of all image records, decoded on demand.
    PictureCache &pictureCache() { return m_pictureCache; }

    // The colour transforms of managed conversions. Shared: a picture's
    // recipe holds it, so that it outlives the context while a build runs.
    const std::shared_ptr<ColorTransformCache> &colorTransforms() const { return m_colorTransforms; }

    // The work all tint transforms of the run may do together (each file
    // has its own, smaller budget besides, whose outer budget this is).
    static constexpr qint64 kRunTintUnits = qint64(1) << 32;
    const std::shared_ptr<WorkBudget> &tintBudget() const { return m_tintBudget; }

private:
    void parseEnded();

    std::atomic<CoreEvents *> m_events;
    std::atomic<QThreadPool *> m_pool;
    std::atomic<int> m_runningParses{0};
    std::mutex m_parseMutex; // guards the two below
    std::deque<std::function<void()>> m_waitingParses;
    int m_parsesOnWorkers = 0;
    std::shared_ptr<WorkBudget> m_tintBudget;
    std::shared_ptr<ColorTransformCache> m_colorTransforms;
    PictureCache m_pictureCache;
};

} // namespace zembrix
