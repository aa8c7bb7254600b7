#pragma once
// Which outputs of a run must be converted, and which the earlier run of the
// album already made. An output is kept when the record of that run says the same
// source won its name (same path bytes, device, inode, size, mtime and ctime),
// with the same settings' shape and decoder, and the file on disk is still the
// one that run left (device, inode, size, mtime). An output whose source and
// shape match another recorded output still on disk (a picture that only moved
// under numbered names) is staged as a hard link to that file, or a copy, before
// anything is put in place. Everything else is converted.
//
// With Consecutive 0 two pictures may share a name: the later one wins it, and
// the earlier one's output is never put in place (it is converted, as before,
// only when the winner is).
#include "album/run_record.h"

#include <QString>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace kelvora {

struct TAlbumJob;
struct TAlbumPlan;

enum class TOutputAction {
    Convert, // converted and put in place
    Keep,    // the file on disk stays
    Link,    // staged from another recorded output (linkFrom)
    Shadowed // a later picture wins the name: never put in place
};

struct TOutputDecision {
    TOutputAction action = TOutputAction::Convert;
    std::string linkFrom;
};

struct TRerunPlan {
    // Per picture, in the list's order.
    std::vector<TOutputDecision> large, small;
    std::vector<std::optional<TFileStamp>> sourceStamps; // as the run found them
    std::vector<std::string> decoders;
    std::string largeShape, smallShape;

    std::vector<bool> decode; // per picture: whether it is decoded at all
};

// Without a record (a first run, a lost record, or a rebuild) every winning
// output is converted.
TRerunPlan PlanRerun(const TAlbumJob& job, const TAlbumPlan& plan,
                     const std::optional<TRunRecord>& previous);

// The plan of the pictures at `kept` (indexes, in order) when the others were left
// out of the album.
TRerunPlan KeptPictures(const TRerunPlan& rerun, const std::vector<std::size_t>& kept);

// The record of a run whose outputs and pages are now in place.
TRunRecord RecordRun(const TAlbumJob& job, const TAlbumPlan& plan, const TRerunPlan& rerun,
                     const std::vector<std::string>& pages);

// Moves to the trash what the previous run recorded (outputs and pages), this run
// did not write (`written`: its outputs and pages), is none of its pictures (by
// path or file), and is still the file recorded (device, inode, size, mtime).
// Returns the files that could not be trashed; they stay.
std::vector<std::string> TrashLeftovers(const TRunRecord& previous,
                                        const std::set<std::string>& written, const TAlbumJob& job);

// For the run's final message: a line break, SNotTrashed and the files one a
// line; empty when every file went.
QString NotTrashedText(const std::vector<std::string>& files);

} // namespace kelvora
