#include "album/album_run.h"

#include "album/album_lock.h"
#include "album/album_plan.h"
#include "album/album_texts.h"
#include "album/output_paths.h"
#include "album/picture_area.h"
#include "album/picture_job.h"
#include "album/rerun_plan.h"
#include "album/staged_file.h"
#include "base/base_texts.h"
#include "base/codepage.h"
#include "base/file_io.h"
#include "settings/inifile.h"
#include "settings/page_section.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <sched.h>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace kelvora {
namespace {

// The folders of `folder` that do not exist yet, outermost first.
std::vector<std::string> missingFolders(const std::string& folder) {
    std::vector<std::string> missing;
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    for (;;) {
        struct stat st;
        if (path.empty() || path == "/" || ::lstat(path.c_str(), &st) == 0)
            break;
        missing.insert(missing.begin(), path);
        const auto slash = path.find_last_of('/');
        if (slash == std::string::npos)
            break;
        path.erase(slash == 0 ? 1 : slash);
    }
    return missing;
}

struct Task {
    enum class State { Waiting, Running, Done, Failed, Skipped };
    TPictureJob job;
    std::size_t estimate = 0;
    std::uint64_t area = 0; // the larger, the earlier it starts
    State state = State::Waiting;
    std::exception_ptr error;
    int outputsDone = 0;
    std::unique_ptr<TStagedFile> large;
    std::unique_ptr<TStagedFile> small;
};

// What a worker tells the thread that runs the hooks, in the order it happened.
struct Event {
    enum class Kind { PictureStarted, OutputDone, PictureDone };
    int index;
    Kind kind;
    QImage preview;
};

// The error a picture ended with, naming the picture. A stop, and errors of no
// kind of the program's, go on as they are.
EAlbumPicture pictureFailure(const Task& t) {
    try {
        std::rethrow_exception(t.error);
    } catch (const EAbort&) {
        throw;
    } catch (const Exception& e) {
        return EAlbumPicture(e, t.job.source);
    } catch (const std::bad_alloc&) {
        return EAlbumPicture(EOutOfResources(BaseTexts::Text(BaseTexts::SOutOfMemory)),
                             t.job.source);
    }
}

// A kept picture's output once others were left out: its name may have moved up
// (numbered names), and under source names it may now win a name an unreadable
// picture had won. A file staged for it takes the new name; a file the last run
// left is staged as a link under the new name, before anything is put in place.
void moveToKeptName(std::unique_ptr<TStagedFile>& file, TOutputDecision& decision,
                    const std::string& oldName, const TStringList& keptNames, int at) {
    const std::string& name = keptNames[at];
    if (decision.action == TOutputAction::Shadowed) {
        for (int j = at + 1; j < keptNames.count(); ++j)
            if (keptNames[j] == name)
                return; // a later picture still wins it
        if (!file)
            return;
        decision.action = TOutputAction::Convert;
    }
    if (name == oldName)
        return;
    if (decision.action == TOutputAction::Keep) {
        file = std::make_unique<TStagedFile>(name);
        file->linkFrom(oldName);
        decision = {TOutputAction::Link, oldName};
    } else if (file) {
        file->setFinalName(name);
    }
}

} // namespace

struct TAlbumRun::Impl {
    TAlbumJob job;
    int jobs;
    TAlbumPlan plan;
    std::unique_ptr<TAlbumLock> albumLock;
    std::optional<TRunRecord> previous; // of the album's last run
    TRerunPlan rerun;
    std::vector<std::string> createdFolders; // removed again if the run fails and they are empty
    std::vector<Task> tasks;
    bool converted = false;
    bool finished = false;
    TAlbumRunResult result;

    // Shared with the workers.
    std::mutex lock;
    std::condition_variable workerWake;
    std::condition_variable eventArrived;
    std::deque<Event> events;
    std::size_t budget = 0;
    std::size_t inFlight = 0;
    int running = 0;
    int firstFailed = 0; // the number of tasks while none failed
    std::atomic<bool> abort{false};

    void estimate(const std::atomic<bool>* stop);
    Task* pick();
    void work();
    void post(Event event);
    bool leftOut(const std::exception_ptr& error) const;
    void makeFolders();
    void removeCreatedFolders();
    void stageLinks();
    bool settled() const; // every task before the first failure has ended
};

void TAlbumRun::Impl::estimate(const std::atomic<bool>* stop) {
    // A plug-in picture's size is asked in a helper process of its own: the
    // questions go out on as many threads as the conversion will use.
    std::atomic<std::size_t> next{0};
    const auto estimateNext = [&] {
        for (std::size_t i; (i = next++) < tasks.size() && !(stop && stop->load());) {
            if (tasks[i].state != Task::State::Waiting)
                continue;
            try {
                tasks[i].estimate = EstimateWorkingMemory(tasks[i].job);
            } catch (...) {
                tasks[i].estimate = 0; // the conversion will say what is wrong
            }
            // One worker gains nothing from another order, and in list order it
            // stops at the first failing picture without converting the others.
            if (jobs > 1)
                tasks[i].area = EstimatePictureArea(tasks[i].job, tasks[i].estimate);
        }
    };
    std::vector<std::thread> helpers;
    for (std::size_t i = 1; i < std::min(static_cast<std::size_t>(jobs), tasks.size()); ++i)
        helpers.emplace_back(estimateNext);
    estimateNext();
    for (std::thread& h : helpers)
        h.join();
}

Task* TAlbumRun::Impl::pick() {
    std::unique_lock guard(lock);
    for (;;) {
        if (abort.load())
            return nullptr;
        // The largest picture that fits starts first: one left for the end would
        // keep a single core busy while the others have nothing to do. Pictures
        // after a failure are not started; the failure reported is the first in
        // the list however the pictures ran.
        bool waiting = false;
        int chosen = -1;
        for (int i = 0; i < firstFailed; ++i) {
            const Task& t = tasks[static_cast<std::size_t>(i)];
            if (t.state != Task::State::Waiting)
                continue;
            waiting = true;
            const bool fits = running == 0 || inFlight + t.estimate <= budget;
            if (fits && (chosen < 0 || t.area > tasks[static_cast<std::size_t>(chosen)].area))
                chosen = i;
        }
        if (chosen >= 0) {
            Task& t = tasks[static_cast<std::size_t>(chosen)];
            t.state = Task::State::Running;
            inFlight += t.estimate;
            ++running;
            events.push_back({chosen, Event::Kind::PictureStarted, {}});
            eventArrived.notify_one();
            return &t;
        }
        if (!waiting)
            return nullptr;
        workerWake.wait(guard);
    }
}

void TAlbumRun::Impl::post(Event event) {
    {
        std::lock_guard guard(lock);
        events.push_back(std::move(event));
    }
    eventArrived.notify_one();
}

void TAlbumRun::Impl::work() {
    while (Task* t = pick()) {
        const int index = static_cast<int>(t - tasks.data());
        std::exception_ptr error;
        QImage preview;
        try {
            t->large = std::make_unique<TStagedFile>(plan.largeNames[index]);
            t->small = std::make_unique<TStagedFile>(plan.smallNames[index]);
            preview = ConvertPictureJob(
                t->job, *t->large, *t->small,
                [&] {
                    ++t->outputsDone;
                    post({index, Event::Kind::OutputDone, {}});
                },
                &abort);
            // On the disk before anything is put in place, so that a crash cannot
            // leave an empty picture under a final name. Each file by itself: a
            // sync of the whole file system would wait for every other program's
            // writes too.
            t->large->flushToDisk();
            t->small->flushToDisk();
        } catch (...) {
            error = std::current_exception();
        }
        {
            std::lock_guard guard(lock);
            inFlight -= t->estimate;
            --running;
            if (error) {
                t->error = error;
                t->large.reset();
                t->small.reset();
                if (leftOut(error)) {
                    t->state = Task::State::Skipped;
                    // Its outputs count as done, so that the progress still ends full.
                    for (; t->outputsDone < 2; ++t->outputsDone)
                        events.push_back({index, Event::Kind::OutputDone, {}});
                } else {
                    t->state = Task::State::Failed;
                    firstFailed = std::min(firstFailed, index);
                }
            } else {
                t->state = Task::State::Done;
            }
            events.push_back({index, Event::Kind::PictureDone, std::move(preview)});
        }
        eventArrived.notify_one();
        workerWake.notify_all();
    }
}

bool TAlbumRun::Impl::settled() const {
    for (int i = 0; i < firstFailed; ++i) {
        const Task::State s = tasks[static_cast<std::size_t>(i)].state;
        if (s == Task::State::Waiting || s == Task::State::Running)
            return false;
    }
    return true;
}

bool TAlbumRun::Impl::leftOut(const std::exception_ptr& error) const {
    if (!job.skipUnreadable)
        return false;
    // A picture that cannot be loaded is left out; one that cannot be written, or a
    // stop, ends the run as ever.
    try {
        std::rethrow_exception(error);
    } catch (const EAbort&) {
        return false;
    } catch (const EFCreateError&) {
        return false;
    } catch (const Exception&) {
        return true;
    } catch (const std::bad_alloc&) {
        return true;
    } catch (...) {
        return false;
    }
}

void TAlbumRun::Impl::makeFolders() {
    for (const std::string& folder : {job.large.OutputFolder, job.small.OutputFolder}) {
        for (std::string& missing : missingFolders(folder))
            createdFolders.push_back(std::move(missing));
        // Said here, with the system's reason: the files inside would only learn
        // that their folder is missing.
        errno = 0;
        if (!forceDirectories(folder)) {
            // No error number: a file stands where a folder should.
            const int error = errno ? errno : ENOTDIR;
            throw EFCreateError(AlbumTexts::Text(AlbumTexts::SCannotMakeFolder)
                                    .arg(toDisplayQ(folder), CreateFailureReason(error)));
        }
        RemoveStaleStagedFiles(folder);
    }
    RemoveStaleStagedFiles(BaseFolderOf(job.htmlFileName));
}

void TAlbumRun::Impl::stageLinks() {
    const auto stage = [](std::unique_ptr<TStagedFile>& file, const TOutputDecision& decision,
                          const std::string& name) {
        if (decision.action != TOutputAction::Link)
            return;
        file = std::make_unique<TStagedFile>(name);
        file->linkFrom(decision.linkFrom);
    };
    for (std::size_t i = 0; i < tasks.size(); ++i) {
        stage(tasks[i].large, rerun.large[i], plan.largeNames[static_cast<int>(i)]);
        stage(tasks[i].small, rerun.small[i], plan.smallNames[static_cast<int>(i)]);
    }
}

void TAlbumRun::Impl::removeCreatedFolders() {
    // Innermost first; a folder that holds anything (the user's, or another
    // program's) stays.
    for (auto it = createdFolders.rbegin(); it != createdFolders.rend(); ++it)
        ::rmdir(it->c_str());
    createdFolders.clear();
}

// ---------------------------------------------------------------------------

void ReadAlbumSettings(const std::string& optionFile, const std::string& htmlFileName,
                       TPictureSettings& large, TPictureSettings& small) {
    // One file object for both sections.
    const TIniFile ini(optionFile);
    large = ReadPictureSettings(ini, TPictureKind::Large);
    small = ReadPictureSettings(ini, TPictureKind::Small);
    const std::string base = BaseFolderOf(htmlFileName);
    large.OutputFolder = OutputFolderOf(base, large.Folder);
    small.OutputFolder = OutputFolderOf(base, small.Folder);
}

TAlbumJob MakeAlbumJob(const std::string& htmlFileName, const TStringList& sourceFiles,
                       const std::string& optionFile) {
    TAlbumJob job;
    job.htmlFileName = htmlFileName;
    job.sourceFiles = sourceFiles;
    ReadAlbumSettings(optionFile, htmlFileName, job.large, job.small);
    const TPageSection page = ReadPageSection(TIniFile(optionFile));
    job.perPage = page.PerPage;
    job.skipUnreadable = page.SkipUnreadable;
    return job;
}

int DefaultJobCount() {
    cpu_set_t set;
    if (::sched_getaffinity(0, sizeof set, &set) == 0)
        return std::max(1, CPU_COUNT(&set));
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

TAlbumRun::TAlbumRun(TAlbumJob job, int jobs) : d_(std::make_unique<Impl>()) {
    d_->job = std::move(job);
    d_->jobs = std::max(1, jobs);
}

TAlbumRun::~TAlbumRun() {
    if (!d_->finished) {
        d_->tasks.clear(); // removes the staged files
        d_->removeCreatedFolders();
    }
}

const TAlbumJob& TAlbumRun::job() const {
    return d_->job;
}
const TStringList& TAlbumRun::largeNames() const {
    return d_->plan.largeNames;
}
const TStringList& TAlbumRun::smallNames() const {
    return d_->plan.smallNames;
}

void TAlbumRun::convertPictures(const TAlbumRunHooks& hooks, const std::atomic<bool>* stop) {
    Impl& d = *d_;
    const int n = d.job.sourceFiles.count();
    const int maximum = 2 * n;
    const auto progress = [&](int position) {
        if (hooks.progress)
            hooks.progress(position, maximum);
    };

    d.plan = PlanAlbum(d.job);
    d.albumLock = std::make_unique<TAlbumLock>(
        d.job.htmlFileName,
        std::vector<std::string>{BaseFolderOf(d.job.htmlFileName), d.job.large.OutputFolder,
                                 d.job.small.OutputFolder});
    // Read even for a rebuild: what the last run left still goes to the trash.
    d.previous = LoadRunRecord(d.job.htmlFileName);
    if (!d.job.writtenByEarlierRun)
        d.job.writtenByEarlierRun = [&previous = d.previous](const std::string& page) {
            return previous && previous->wrotePage(page);
        };
    CheckFurtherPageNames(d.job.htmlFileName, AlbumPageCount(n, d.job.perPage),
                          d.job.writtenByEarlierRun);
    d.rerun = PlanRerun(d.job, d.plan, d.job.rebuild ? std::nullopt : d.previous);
    progress(0);
    int position = 0;
    d.tasks.resize(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        Task& t = d.tasks[static_cast<std::size_t>(i)];
        t.job = {d.job.sourceFiles[i], &d.job.large, &d.job.small};
        if (!d.rerun.decode[static_cast<std::size_t>(i)]) {
            t.state = Task::State::Done;
            position += 2;
        }
    }
    if (position > 0)
        progress(position);
    d.estimate(stop);
    std::size_t largest = 0;
    for (const Task& t : d.tasks)
        largest = std::max(largest, t.estimate);
    d.budget = largest + largest / 4;
    d.firstFailed = n;
    d.makeFolders();

    std::vector<std::thread> workers;
    for (int i = 0; i < std::min(d.jobs, n); ++i)
        workers.emplace_back([&d] { d.work(); });

    bool stopped = false;
    {
        std::unique_lock guard(d.lock);
        for (;;) {
            d.eventArrived.wait_for(guard, std::chrono::milliseconds(50),
                                    [&] { return !d.events.empty(); });
            // Hooks run without the lock, so that workers can go on meanwhile.
            while (!d.events.empty()) {
                Event e = std::move(d.events.front());
                d.events.pop_front();
                guard.unlock();
                if (e.kind == Event::Kind::OutputDone)
                    progress(++position);
                else if (e.kind == Event::Kind::PictureStarted && hooks.pictureStarted)
                    hooks.pictureStarted(e.index);
                else if (e.kind == Event::Kind::PictureDone && hooks.pictureConverted &&
                         !e.preview.isNull())
                    hooks.pictureConverted(e.index, e.preview);
                guard.lock();
            }
            if (stop && stop->load()) {
                stopped = true;
                break;
            }
            if (d.settled())
                break;
        }
        d.abort = true; // pictures after a failure need not finish
    }
    d.workerWake.notify_all();
    for (std::thread& w : workers)
        w.join();

    if (stopped)
        throw EAbort(AlbumTexts::Text(AlbumTexts::SAborted));

    if (d.firstFailed < n)
        throw pictureFailure(d.tasks[static_cast<std::size_t>(d.firstFailed)]);
    for (const Task& t : d.tasks)
        if (t.state == Task::State::Skipped)
            d.result.skipped.push_back(pictureFailure(t));
    d.stageLinks();
    progress(0);
    d.converted = true;
}

TAlbumRunResult TAlbumRun::finish(const TAlbumPageOptions& options,
                                  const TCommentLookup& comments) {
    Impl& d = *d_;
    if (!d.converted || d.finished)
        throw EInvalidOperation(QStringLiteral("画像の変換が終わっていません"));
    // The album of the pictures kept: their names and numbers as if the others had
    // never been in the list.
    TAlbumJob keptJob = d.job;
    TRerunPlan keptRerun = d.rerun;
    std::vector<std::size_t> keptTasks;
    for (std::size_t i = 0; i < d.tasks.size(); ++i)
        if (d.tasks[i].state == Task::State::Done)
            keptTasks.push_back(i);
    if (keptTasks.size() != d.tasks.size()) {
        keptJob.sourceFiles = TStringList();
        for (const std::size_t i : keptTasks)
            keptJob.sourceFiles.add(d.job.sourceFiles[static_cast<int>(i)]);
        const TAlbumPlan keptPlan = PlanAlbum(keptJob);
        keptRerun = KeptPictures(d.rerun, keptTasks);
        for (std::size_t k = 0; k < keptTasks.size(); ++k) {
            Task& t = d.tasks[keptTasks[k]];
            const int i = static_cast<int>(keptTasks[k]), at = static_cast<int>(k);
            moveToKeptName(t.large, keptRerun.large[k], d.plan.largeNames[i], keptPlan.largeNames,
                           at);
            moveToKeptName(t.small, keptRerun.small[k], d.plan.smallNames[i], keptPlan.smallNames,
                           at);
        }
        d.plan = keptPlan;
    }
    const std::vector<std::unique_ptr<TStagedFile>> pages =
        WriteAlbumPages(d.job.htmlFileName, keptJob.sourceFiles, d.plan.largeNames,
                        d.plan.smallNames, options, comments, d.job.perPage);
    // Of two pictures that share a name the later one stays, as when one picture
    // after another wrote them; kept outputs are not touched.
    TAlbumRunResult& result = d.result;
    const auto put = [&result](std::unique_ptr<TStagedFile>& file, const TOutputDecision& made) {
        switch (made.action) {
        case TOutputAction::Convert:
            file->commit();
            ++result.outputsConverted;
            break;
        case TOutputAction::Link:
            file->commit();
            [[fallthrough]];
        case TOutputAction::Keep:
            ++result.outputsKept;
            break;
        case TOutputAction::Shadowed:
            break;
        }
    };
    for (std::size_t k = 0; k < keptTasks.size(); ++k) {
        put(d.tasks[keptTasks[k]].large, keptRerun.large[k]);
        put(d.tasks[keptTasks[k]].small, keptRerun.small[k]);
    }
    // The first page last: until it is replaced, the album that was there links
    // what it always linked.
    for (auto page = pages.rbegin(); page != pages.rend(); ++page)
        (*page)->commit();
    d.finished = true;

    std::vector<std::string> pageNames;
    for (int i = 0; i < static_cast<int>(pages.size()); ++i)
        pageNames.push_back(AlbumPageName(d.job.htmlFileName, i));
    std::set<std::string> written(pageNames.begin(), pageNames.end());
    written.insert(d.plan.largeNames.begin(), d.plan.largeNames.end());
    written.insert(d.plan.smallNames.begin(), d.plan.smallNames.end());
    if (d.previous)
        result.notTrashed = TrashLeftovers(*d.previous, written, d.job);
    else // pages the caller says an earlier run wrote, without a record of it
        result.notTrashed = RemoveStaleAlbumPages(d.job.htmlFileName,
                                                  static_cast<int>(pages.size()),
                                                  d.job.writtenByEarlierRun);
    SaveRunRecord(RecordRun(keptJob, d.plan, keptRerun, pageNames));
    d.albumLock.reset();
    return std::move(d.result);
}

TAlbumRunResult RunAlbum(const TAlbumJob& job, const TAlbumRunHooks& hooks, int jobs,
                         const std::atomic<bool>* stop) {
    TAlbumRun run(job, jobs);
    run.convertPictures(hooks, stop);
    return run.finish(hooks.pageOptions ? hooks.pageOptions() : TAlbumPageOptions{},
                      hooks.comments);
}

} // namespace kelvora
