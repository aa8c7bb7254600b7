#include "album/album_plan.h"

#include "album/album_run.h"
#include "album/picture_converter.h"
#include "base/codepage.h"
#include "base/errors.h"

#include <filesystem>
#include <map>
#include <sys/stat.h>
#include <utility>

namespace kelvora {
namespace {

void requirePositive(TPictureKind kind, const char* key, int value) {
    if (value > 0)
        return;
    throw EInvalidOperation(
        QStringLiteral("設定 [%1] %2=%3 では画像を作れません (1 以上を指定してください)")
            .arg(QString::fromLatin1(SectionName(kind)), QString::fromLatin1(key),
                 QString::number(value)));
}

std::string normalised(const std::string& path) {
    return std::filesystem::path(path).lexically_normal().string();
}

// The pictures, by normalised path and by file identity.
class SourceIndex {
public:
    explicit SourceIndex(const TStringList& sources) {
        for (const std::string& source : sources) {
            byPath_.emplace(normalised(source), source);
            struct stat st;
            if (::stat(source.c_str(), &st) == 0)
                byFile_.emplace(std::make_pair(st.st_dev, st.st_ino), source);
        }
    }
    // The picture that writing `target` would replace, or null.
    const std::string* sourceAt(const std::string& target) const {
        if (auto it = byPath_.find(normalised(target)); it != byPath_.end())
            return &it->second;
        struct stat st;
        if (::stat(target.c_str(), &st) == 0)
            if (auto it = byFile_.find({st.st_dev, st.st_ino}); it != byFile_.end())
                return &it->second;
        return nullptr;
    }

private:
    std::map<std::string, std::string> byPath_;
    std::map<std::pair<dev_t, ino_t>, std::string> byFile_;
};

void refuseOverwrite(const SourceIndex& sources, const std::string& target) {
    if (const std::string* source = sources.sourceAt(target))
        throw EFCreateError(
            QStringLiteral("%1 は元の画像 %2 と同じファイルです。上書きせずに中止しました")
                .arg(toQ(target), toQ(*source)));
}

} // namespace

void CheckPictureSize(const TPictureSettings& settings, TPictureKind kind) {
    if (settings.PictureSizeMode) {
        requirePositive(kind, "Rate", settings.Rate);
    } else {
        requirePositive(kind, "Horizonal", settings.Horizonal);
        requirePositive(kind, "Vertical", settings.Vertical);
    }
}

TAlbumPlan PlanAlbum(const TAlbumJob& job) {
    CheckPictureSize(job.large, TPictureKind::Large);
    CheckPictureSize(job.small, TPictureKind::Small);
    CheckPictureType(job.large);
    CheckPictureType(job.small);

    TAlbumPlan plan;
    const SourceIndex sources(job.sourceFiles);
    for (int i = 0; i < job.sourceFiles.count(); ++i) {
        plan.largeNames.add(TargetFileName(job.large, job.sourceFiles[i], i));
        plan.smallNames.add(TargetFileName(job.small, job.sourceFiles[i], i));
        refuseOverwrite(sources, plan.largeNames[i]);
        refuseOverwrite(sources, plan.smallNames[i]);
    }
    refuseOverwrite(sources, job.htmlFileName);
    return plan;
}

} // namespace kelvora
