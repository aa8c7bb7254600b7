#include "shell/items/mounts.h"

#include "base/hex.h"
#include "shell/items/dir_handle.h"
#include "shell/items/xdg_dirs.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <pwd.h>
#include <sstream>
#include <unistd.h>

namespace kelvora {

namespace {

// File systems that never hold user data.
constexpr std::string_view kInternalFs[] = {"autofs",
                                            "binfmt_misc",
                                            "bpf",
                                            "cgroup",
                                            "cgroup2",
                                            "configfs",
                                            "debugfs",
                                            "devpts",
                                            "devtmpfs",
                                            "efivarfs",
                                            "fuse.gvfsd-fuse",
                                            "fuse.portal",
                                            "fusectl",
                                            "hugetlbfs",
                                            "mqueue",
                                            "nsfs",
                                            "proc",
                                            "pstore",
                                            "ramfs",
                                            "rpc_pipefs",
                                            "securityfs",
                                            "selinuxfs",
                                            "sysfs",
                                            "tracefs",
                                            "fuse.xdg-document-portal"};

constexpr std::string_view kNetworkFs[] = {
    "nfs",  "nfs4", "cifs",  "smb3",       "smbfs",       "ncpfs",         "afs",
    "ceph", "9p",   "davfs", "fuse.sshfs", "fuse.rclone", "fuse.glusterfs"};

template <std::size_t N> bool oneOf(std::string_view s, const std::string_view (&list)[N]) {
    return std::find(std::begin(list), std::end(list), s) != std::end(list);
}

// mountinfo escapes blanks, tabs, newlines and backslashes as \ooo.
std::string unescape(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '3' &&
            s[i + 2] >= '0' && s[i + 2] <= '7' && s[i + 3] >= '0' && s[i + 3] <= '7') {
            out +=
                static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0'));
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

bool hasOption(const std::string& options, std::string_view option) {
    std::size_t start = 0;
    while (start <= options.size()) {
        std::size_t end = options.find(',', start);
        if (end == std::string::npos)
            end = options.size();
        if (std::string_view(options).substr(start, end - start) == option)
            return true;
        start = end + 1;
    }
    return false;
}

std::string readSmallFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string userName() {
    if (const char* u = std::getenv("USER"); u && *u)
        return u;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_name)
        return pw->pw_name;
    return {};
}

bool startsWith(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

// "name>target" of every by-label link, for telling when labels changed.
std::string labelLinks(const std::string& dir) {
    std::string all;
    TDirHandle d(::opendir(dir.c_str()));
    while (d) {
        const dirent* e = ::readdir(d.get());
        if (!e)
            break;
        char target[PATH_MAX];
        const ssize_t n = ::readlinkat(::dirfd(d.get()), e->d_name, target, sizeof target);
        if (n > 0) {
            all += e->d_name;
            all += '>';
            all.append(target, static_cast<std::size_t>(n));
            all += '\n';
        }
    }
    return all;
}

// udev writes unsafe bytes of a label as \xHH.
std::string decodeLabel(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] == 'x' && HexDigitValue(s[i + 2]) >= 0 &&
            HexDigitValue(s[i + 3]) >= 0) {
            out += static_cast<char>(HexDigitValue(s[i + 2]) * 16 + HexDigitValue(s[i + 3]));
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

struct Cache {
    std::mutex mutex;
    TDriveSources sources;
    std::string key; // table bytes + home + user + sysfs root
    std::vector<TDrive> drives;
};

Cache& cache() {
    static Cache c;
    return c;
}

std::vector<TDrive> buildDrives(const std::string& table, const TDriveSources& sources,
                                const std::string& home, const std::string& user) {
    const std::string& sysfsRoot = sources.sysfsRoot;
    const std::vector<TMountEntry> mounts = ParseMountInfo(table);
    TDrive root{"/", {}, TDriveKind::Fixed, false, {}};
    std::vector<TDrive> shown;
    for (const TMountEntry& m : mounts) {
        TDrive d{m.mountPoint, m.fsType, TDriveKind::Fixed, hasOption(m.options, "ro"), {}};
        if (m.mountPoint == "/") {
            d.kind = ClassifyMount(m, sysfsRoot);
            root = d;
            continue;
        }
        // A later mount on the same path hides the earlier one.
        std::erase_if(shown, [&](const TDrive& x) { return x.mountPoint == m.mountPoint; });
        if (!ShouldShowMount(m, home, user))
            continue;
        d.kind = ClassifyMount(m, sysfsRoot);
        d.label = VolumeLabel(m, sources.byLabel);
        shown.push_back(std::move(d));
    }
    shown.insert(shown.begin(), root);
    return shown;
}

} // namespace

std::vector<TMountEntry> ParseMountInfo(std::string_view text) {
    std::vector<TMountEntry> mounts;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t eol = text.find('\n', pos);
        if (eol == std::string_view::npos)
            eol = text.size();
        const std::string_view line = text.substr(pos, eol - pos);
        pos = eol + 1;

        std::vector<std::string_view> f;
        for (std::size_t i = 0; i < line.size();) {
            const std::size_t end = std::min(line.find(' ', i), line.size());
            if (end > i)
                f.push_back(line.substr(i, end - i));
            i = end + 1;
        }
        // id parent maj:min root mountpoint options [optional...] - fstype source superoptions
        const auto dash = std::find(f.begin(), f.end(), "-");
        if (f.size() < 6 || dash == f.end() || dash - f.begin() < 6 || f.end() - dash < 3)
            continue;
        TMountEntry m;
        const std::string_view dev = f[2];
        const std::size_t colon = dev.find(':');
        if (colon == std::string_view::npos)
            continue;
        m.major = static_cast<unsigned>(
            std::strtoul(std::string(dev.substr(0, colon)).c_str(), nullptr, 10));
        m.minor = static_cast<unsigned>(
            std::strtoul(std::string(dev.substr(colon + 1)).c_str(), nullptr, 10));
        m.root = unescape(f[3]);
        m.mountPoint = unescape(f[4]);
        m.options = std::string(f[5]);
        m.fsType = unescape(dash[1]);
        m.source = unescape(dash[2]);
        if (f.end() - dash >= 4)
            m.superOptions = std::string(dash[3]);
        if (m.mountPoint.empty() || m.mountPoint[0] != '/')
            continue;
        mounts.push_back(std::move(m));
    }
    return mounts;
}

void SetDriveSources(const TDriveSources& sources) {
    std::lock_guard lock(cache().mutex);
    cache().sources = sources;
    cache().key.clear();
}

TDriveSources DriveSources() {
    std::lock_guard lock(cache().mutex);
    return cache().sources;
}

std::string VolumeLabel(const TMountEntry& mount, const std::string& byLabelDir) {
    if (!startsWith(mount.source, "/"))
        return {};
    char device[PATH_MAX];
    if (!realpath(mount.source.c_str(), device))
        return {};
    TDirHandle d(::opendir(byLabelDir.c_str()));
    while (d) {
        const dirent* e = ::readdir(d.get());
        if (!e)
            break;
        char target[PATH_MAX];
        const std::string link = byLabelDir + "/" + e->d_name;
        if (e->d_name[0] != '.' && realpath(link.c_str(), target) &&
            std::string_view(target) == device)
            return decodeLabel(e->d_name);
    }
    return {};
}

bool ShouldShowMount(const TMountEntry& m, const std::string& home, const std::string& user) {
    if (oneOf(m.fsType, kInternalFs))
        return false;
    if (hasOption(m.options, "x-gvfs-hide") || hasOption(m.superOptions, "x-gvfs-hide"))
        return false;
    if (hasOption(m.options, "x-gvfs-show") || hasOption(m.superOptions, "x-gvfs-show"))
        return true;
    const std::string& p = m.mountPoint;
    if (p.find("/.") != std::string::npos)
        return false;
    if (startsWith(p, "/media/") && p.size() > 7)
        return true;
    if (!user.empty() && startsWith(p, "/run/media/" + user + "/"))
        return true;
    return home.size() > 1 && startsWith(p, home + "/");
}

TDriveKind ClassifyMount(const TMountEntry& m, const std::string& sysfsRoot) {
    if (m.fsType == "iso9660" || m.fsType == "udf")
        return TDriveKind::CdRom;
    if (oneOf(m.fsType, kNetworkFs))
        return TDriveKind::Network;
    if (m.major == 0)
        return TDriveKind::Fixed;
    const std::string link =
        sysfsRoot + "/dev/block/" + std::to_string(m.major) + ":" + std::to_string(m.minor);
    char resolved[PATH_MAX];
    if (!realpath(link.c_str(), resolved))
        return TDriveKind::Fixed;
    std::string device = resolved;
    // A partition's "removable" and name are its disk's.
    if (access((device + "/partition").c_str(), F_OK) == 0)
        device = device.substr(0, device.rfind('/'));
    const std::string name = device.substr(device.rfind('/') + 1);
    if (startsWith(name, "sr"))
        return TDriveKind::CdRom;
    if (readSmallFile(device + "/removable").rfind('1', 0) == 0)
        return TDriveKind::Removable;
    if (device.find("/usb") != std::string::npos || device.find("/mmc") != std::string::npos)
        return TDriveKind::Removable;
    return TDriveKind::Fixed;
}

std::vector<TDrive> ShownDrives() {
    Cache& c = cache();
    std::lock_guard lock(c.mutex);
    const std::string table = readSmallFile(c.sources.mountInfo);
    const std::string home = XdgHome();
    const std::string user = userName();
    std::string key = table;
    key += '\0';
    key += home + '\0' + user + '\0' + c.sources.sysfsRoot;
    // Labels change without a remount: the links' targets are part of the key.
    key += '\0' + labelLinks(c.sources.byLabel);
    if (key != c.key || c.drives.empty()) {
        c.drives = buildDrives(table, c.sources, home, user);
        c.key = std::move(key);
    }
    return c.drives;
}

bool FindShownDrive(std::string_view mountPoint, TDrive& drive) {
    for (TDrive& d : ShownDrives()) {
        if (d.mountPoint == mountPoint) {
            drive = std::move(d);
            return true;
        }
    }
    return false;
}

} // namespace kelvora
