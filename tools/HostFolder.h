// HostFolder: what the builder needs from the host's file system to read a
// source tree: folder listings with each entry's kind, size, attributes
// and times, and a few path helpers. Paths are UTF-8 on every host.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "support/FileAttributeRecord.h"

struct HostEntry {
    enum Kind { File, Folder, Link, Other };

    std::string name; // UTF-8, one component
    Kind kind = Other;
    int64_t size = 0; // files only
    FileAttributeRecord record;
};

class HostFolder {
public:
    // The entries of a folder, "." and ".." left out, in no set order.
    // Links (symbolic links, junctions and other reparse points) are
    // reported as links and never followed.
    static bool List(const std::string& path, std::vector<HostEntry>& entries, std::string& error);

    // What a path names; a link at its end is followed (the folder that the
    // user names may well be one).
    static HostEntry::Kind KindOf(const std::string& path);

    // True when `inner` is `outer` or lies below it, after both are made
    // absolute and free of links (POSIX: realpath; Windows: the final path
    // of each, with junctions and symbolic links resolved); false when
    // either cannot be resolved, as a path that does not exist cannot.
    static bool IsSameOrInside(const std::string& inner, const std::string& outer);

    static std::string Join(const std::string& folder, const std::string& name);
    // The folder part of a path ("." when there is none), and what
    // follows it.
    static std::string Parent(const std::string& path);
    static std::string Name(const std::string& path);

    // How a POSIX file maps to Windows attributes: archive (0x20) for files,
    // directory (0x10) for folders; read-only (0x01) for a file whose owner
    // may not write it; hidden (0x02) for a name that starts with a dot, as
    // POSIX tools hide those. A folder never gets read-only: on Windows that
    // bit does not protect a folder's content.
    static uint32_t AttributesFromMode(uint32_t mode, bool folder, const char* name);

    // A POSIX time (seconds and nanoseconds since 1970) as a FILETIME
    // (100-ns ticks since 1601). Times before 1601 become 0; times past the
    // largest FILETIME Windows accepts (0x7FFFFFFFFFFFFFFF) become that.
    static uint64_t FileTimeFromUnix(int64_t seconds, int64_t nanoseconds);
};
