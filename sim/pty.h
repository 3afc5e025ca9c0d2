// A pseudo-terminal behind a symlink, as the simulated devices offer their lines: raw 8N1, the
// master side non-blocking, and the client's presence seen from the master's hang-up.
#pragma once

#include <string>

namespace velmora::sim {

class Pty {
public:
    Pty() = default;
    ~Pty() { close(); }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    // Opens a new terminal set raw at `baud` and links `linkPath` to it; a link left behind by
    // an earlier run is replaced, anything else at the path is not. Prints why it failed.
    bool open(const std::string& linkPath, int baud);
    // Removes the link (if it still points here) and closes the terminal: the client sees the
    // device vanish.
    void close();

    int fd() const { return master_; }
    const std::string& slavePath() const { return slavePath_; }
    // Whether a client holds the terminal open; `fallback` when that cannot be told.
    bool clientPresent(bool fallback) const;
    // Drops what the last client left unread in both directions.
    void flush();

private:
    int master_ = -1;
    std::string slavePath_, linkPath_;
};

} // namespace velmora::sim
