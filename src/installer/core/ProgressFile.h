#pragma once

#include "installer/core/WorkingFolder.h"

#include <QByteArray>
#include <ctime>
#include <sys/types.h>

namespace tavoren::installer {

// The progress message file, read in place: its last two lines, as a
// "tail -2" and a "tail -1" would give them, without starting a process.
class ProgressFile
{
public:
    struct Identity
    {
        ino_t inode = 0;
        timespec changed{};
        bool operator==(const Identity &other) const
        {
            return inode == other.inode && changed.tv_sec == other.changed.tv_sec
                   && changed.tv_nsec == other.changed.tv_nsec;
        }
    };

    struct Tail
    {
        bool exists = false;
        Identity identity;
        off_t size = 0;
        // The second-to-last line (the only line when there is one) and the
        // last line, each with its line end when it has one.
        QByteArray secondToLast;
        QByteArray last;
    };

    // Lines longer than this are cut at their end; the examined part of a
    // line is far shorter.
    static constexpr off_t maximumScan = 1024 * 1024;

    // A file that belongs to neither root nor the effective user counts as
    // missing.
    static Tail read(const WorkingFolder &folder, const std::string &name);
    // The same on the file's last bytes; a first line cut off by their start
    // counts as a whole one.
    static void lastTwoLines(const QByteArray &bytes, QByteArray *secondToLast, QByteArray *last);
};

} // namespace tavoren::installer
