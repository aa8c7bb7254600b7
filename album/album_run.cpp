#include "album/album_run.h"

#include "album/output_paths.h"
#include "album/picture_converter.h"
#include "base/picture.h"
#include "settings/inifile.h"

#include <sys/stat.h>

namespace kelvora {
namespace {

// What identifies a file's content well enough to skip decoding it again.
struct FileStamp {
    bool valid = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};

    static FileStamp of(const std::string& fileName) {
        struct stat st;
        if (::stat(fileName.c_str(), &st) != 0)
            return {};
        return {true, st.st_dev, st.st_ino, st.st_size, st.st_mtim};
    }
    bool sameAs(const FileStamp& o) const {
        return valid && o.valid && device == o.device && inode == o.inode && size == o.size &&
               modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec;
    }
};

QImage loadPicture(const std::string& fileName) {
    TPicture picture;
    picture.loadFromFile(fileName);
    return picture.graphic()->image();
}

} // namespace

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
    return job;
}

void RunAlbum(const TAlbumJob& job, const TAlbumRunHooks& hooks) {
    const auto pump = [&] {
        if (hooks.pump)
            hooks.pump();
    };
    const auto progress = [&](int position, int maximum) {
        if (hooks.progress)
            hooks.progress(position, maximum);
    };
    const auto loaded = [&](const QImage& image) {
        if (hooks.pictureLoaded)
            hooks.pictureLoaded(image);
    };

    TStringList largeNames;
    TStringList smallNames;
    const int n = job.sourceFiles.count();
    const int maximum = 2 * n;
    progress(0, maximum);
    for (int i = 0; i < n; ++i) {
        const std::string& source = job.sourceFiles[i];
        loaded(QImage());
        const FileStamp before = FileStamp::of(source);
        QImage picture = loadPicture(source);
        loaded(picture);
        pump();

        ConvertPicture(job.large, picture, source, i, largeNames);
        progress(2 * i + 1, maximum);
        pump();

        // The small picture is made from the file as it is now; when it has not
        // changed since the first load, that decode is still the same picture.
        if (!before.sameAs(FileStamp::of(source)))
            picture = loadPicture(source);
        loaded(picture);
        pump();

        ConvertPicture(job.small, picture, source, i, smallNames);
        progress(2 * i + 2, maximum);
        pump();
    }
    progress(0, maximum);
    const TAlbumPageOptions options = hooks.pageOptions ? hooks.pageOptions() : TAlbumPageOptions{};
    WriteAlbumPage(job.htmlFileName, largeNames, smallNames, options, hooks.comments);
}

} // namespace kelvora
