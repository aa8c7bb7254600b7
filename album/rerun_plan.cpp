#include "album/rerun_plan.h"

#include "album/album_plan.h"
#include "album/album_run.h"
#include "album/album_texts.h"
#include "album/output_shape.h"
#include "base/codepage.h"
#include "shell/items/trash.h"

#include <map>

namespace kelvora {
namespace {

// The recorded outputs of one kind's shape, by output path and by source.
class RecordIndex {
public:
    RecordIndex(const std::optional<TRunRecord>& previous, const std::string& shape) {
        if (!previous)
            return;
        for (const TRecordedOutput& o : previous->outputs) {
            if (o.shape != shape)
                continue;
            byOutput_[o.output] = &o;
            bySource_.emplace(o.source, &o);
        }
    }

    TOutputDecision decide(const std::string& name, const std::string& source,
                           const std::optional<TFileStamp>& stamp,
                           const std::string& decoder) const {
        if (!stamp)
            return {};
        const auto made = [&](const TRecordedOutput& o) {
            const std::optional<TFileStamp> now = OutputStamp(o.output);
            return o.source == source && o.sourceStamp == *stamp && o.decoder == decoder && now &&
                   now->sameOutput(o.outputStamp);
        };
        if (const auto it = byOutput_.find(name); it != byOutput_.end() && made(*it->second))
            return {TOutputAction::Keep, {}};
        const auto [first, last] = bySource_.equal_range(source);
        for (auto it = first; it != last; ++it)
            if (made(*it->second))
                return {TOutputAction::Link, it->second->output};
        return {};
    }

private:
    std::map<std::string, const TRecordedOutput*> byOutput_;
    std::multimap<std::string, const TRecordedOutput*> bySource_;
};

// Decides the outputs of one kind; returns per picture whether a winner of its
// name is converted.
std::vector<TOutputDecision> decideKind(const TStringList& names, const TAlbumJob& job,
                                        const TRerunPlan& rerun, const std::string& shape,
                                        const std::optional<TRunRecord>& previous) {
    const RecordIndex index(previous, shape);
    const int n = names.count();
    std::map<std::string, int> winner; // the last picture of each name
    for (int i = 0; i < n; ++i)
        winner[names[i]] = i;
    std::vector<TOutputDecision> decisions(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        const auto at = static_cast<std::size_t>(i);
        if (winner[names[i]] != i)
            decisions[at].action = TOutputAction::Shadowed;
        else
            decisions[at] = index.decide(names[i], job.sourceFiles[i], rerun.sourceStamps[at],
                                         rerun.decoders[at]);
    }
    return decisions;
}

// Whether picture i must be decoded for one kind: its own output is converted, or
// it loses its name to a picture that is (so that its errors stop the run as
// they always did).
bool decodesFor(const std::vector<TOutputDecision>& kind, const TStringList& names, int i) {
    const auto converted = [&](int k) {
        return kind[static_cast<std::size_t>(k)].action == TOutputAction::Convert;
    };
    if (kind[static_cast<std::size_t>(i)].action != TOutputAction::Shadowed)
        return converted(i);
    for (int k = names.count() - 1; k > i; --k)
        if (names[k] == names[i])
            return converted(k);
    return false;
}

void recordKind(TRunRecord& record, const TStringList& names, const TAlbumJob& job,
                const TRerunPlan& rerun, const std::vector<TOutputDecision>& kind,
                const std::string& shape) {
    for (int i = 0; i < names.count(); ++i) {
        const auto at = static_cast<std::size_t>(i);
        if (kind[at].action == TOutputAction::Shadowed || !rerun.sourceStamps[at])
            continue;
        const std::optional<TFileStamp> output = OutputStamp(names[i]);
        if (!output)
            continue;
        record.outputs.push_back({names[i], *output, job.sourceFiles[i], *rerun.sourceStamps[at],
                                  shape, rerun.decoders[at]});
    }
}

} // namespace

TRerunPlan PlanRerun(const TAlbumJob& job, const TAlbumPlan& plan,
                     const std::optional<TRunRecord>& previous) {
    TRerunPlan r;
    // A smooth output comes from the one decoding that covers both sizes: the other
    // size shapes it too.
    const std::string large = OutputShape(job.large), small = OutputShape(job.small);
    r.largeShape = job.large.Smooth ? large + small : large;
    r.smallShape = job.small.Smooth ? small + large : small;
    for (const std::string& source : job.sourceFiles) {
        r.sourceStamps.push_back(SourceStamp(source));
        r.decoders.push_back(DecoderOf(source));
    }
    r.large = decideKind(plan.largeNames, job, r, r.largeShape, previous);
    r.small = decideKind(plan.smallNames, job, r, r.smallShape, previous);
    for (int i = 0; i < job.sourceFiles.count(); ++i)
        r.decode.push_back(decodesFor(r.large, plan.largeNames, i) ||
                           decodesFor(r.small, plan.smallNames, i));
    return r;
}

TRerunPlan KeptPictures(const TRerunPlan& rerun, const std::vector<std::size_t>& kept) {
    TRerunPlan r;
    r.largeShape = rerun.largeShape;
    r.smallShape = rerun.smallShape;
    for (const std::size_t i : kept) {
        r.large.push_back(rerun.large[i]);
        r.small.push_back(rerun.small[i]);
        r.sourceStamps.push_back(rerun.sourceStamps[i]);
        r.decoders.push_back(rerun.decoders[i]);
        r.decode.push_back(rerun.decode[i]);
    }
    return r;
}

TRunRecord RecordRun(const TAlbumJob& job, const TAlbumPlan& plan, const TRerunPlan& rerun,
                     const std::vector<std::string>& pages) {
    TRunRecord record;
    record.page = job.htmlFileName;
    recordKind(record, plan.largeNames, job, rerun, rerun.large, rerun.largeShape);
    recordKind(record, plan.smallNames, job, rerun, rerun.small, rerun.smallShape);
    for (const std::string& page : pages)
        if (const std::optional<TFileStamp> stamp = OutputStamp(page))
            record.pages.push_back({page, *stamp});
    return record;
}

std::vector<std::string> TrashLeftovers(const TRunRecord& previous,
                                        const std::set<std::string>& written,
                                        const TAlbumJob& job) {
    std::set<std::string> pictures(job.sourceFiles.begin(), job.sourceFiles.end());
    std::set<std::pair<std::int64_t, std::int64_t>> pictureFiles;
    for (const std::string& source : job.sourceFiles)
        if (const std::optional<TFileStamp> s = SourceStamp(source))
            pictureFiles.emplace(s->dev, s->ino);
    std::vector<std::pair<std::string, TFileStamp>> candidates;
    for (const TRecordedOutput& o : previous.outputs)
        candidates.emplace_back(o.output, o.outputStamp);
    for (const TRecordedPage& p : previous.pages)
        candidates.emplace_back(p.path, p.stamp);
    std::vector<std::string> notTrashed;
    std::set<std::string> seen;
    for (const auto& [path, recorded] : candidates) {
        if (written.count(path) || pictures.count(path) || !seen.insert(path).second)
            continue;
        // A file put there since (by the user, or another program) is not ours.
        const std::optional<TFileStamp> now = OutputStamp(path);
        if (!now || !now->sameOutput(recorded) || pictureFiles.count({now->dev, now->ino}))
            continue;
        if (!MoveToTrash(path))
            notTrashed.push_back(path);
    }
    return notTrashed;
}

QString NotTrashedText(const std::vector<std::string>& files) {
    if (files.empty())
        return {};
    QString text = QStringLiteral("\n") + AlbumTexts::Text(AlbumTexts::SNotTrashed);
    for (const std::string& file : files)
        text += QStringLiteral("\n") + toDisplayQ(file);
    return text;
}

} // namespace kelvora
