#pragma once

// Reading the next picture of a series ahead, while the user points at the shown one.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "common/JobThread.h"
#include "raster/PictureFile.h"
#include "raster/SharedWork.h"

namespace qfip {

// Which picture of which series a prefetch is for; a new series (Open, Restart) has a new
// number, so nothing read for another series or position is ever taken for this one.
struct PrefetchKey {
    uint64_t series = 0;
    int64_t position = 0;
    friend bool operator==(const PrefetchKey&, const PrefetchKey&) = default;
};

// One worker thread that reads and decodes one picture file at a time, and nothing
// else. A picture is handed out only for the key and path it was started for, once it is
// finished (a read of exactly that picture still under way is waited for, never thrown
// away) and only while the file is unchanged (same device, inode, size, modification and
// status-change time as when the worker read it) and still opens for reading; in every
// other case the caller loads the file itself, so every failure keeps its behaviour. At
// most one picture is held: whatever is started, cancelled or refused is released before
// the call returns.
class PicturePrefetch {
public:
    using Loader = std::function<Picture(const std::string& path, const LoadOptions& options, LoadInfo* info)>;

    PicturePrefetch();
    ~PicturePrefetch();  // cancels and joins the worker
    PicturePrefetch(const PicturePrefetch&) = delete;
    PicturePrefetch& operator=(const PicturePrefetch&) = delete;

    // Starts reading `path` for `key`, cancelling any earlier prefetch first. A picture
    // that would take more than a quarter of the memory available is not read.
    void start(const std::string& path, PrefetchKey key);

    // Cancels what is under way and drops what is done; returns once the worker has let
    // go of its picture.
    void cancel();

    // The picture read for exactly this path and key, once it is finished (the caller
    // does what is left of a read of it under way, alongside the worker), when it was read
    // without failure and the file is unchanged now; otherwise nothing (after releasing
    // whatever was read, and cancelling a read of another picture). Either way the
    // prefetch is used up.
    std::optional<Picture> take(const std::string& path, PrefetchKey key);

    // Hands over a picture that is no longer shown, for the worker to release (freeing a
    // large raster takes milliseconds, and would hold up the window's thread meanwhile).
    // The worker releases it before it starts reading anything else, at the next start or
    // releaseNow; cancel releases it at once. So memory is never held for more pictures.
    void release(Picture picture);
    void releaseNow();

    // Whether the worker has nothing under way (tests and benchmarks wait for this).
    bool idle() const;
    // Waits until the worker has nothing under way.
    void waitUntilIdle() const;

    // Replaces how files are read (loadPicture); tests use it to hold a read half-way.
    void setLoader(Loader loader);

    // Whether a picture of this size may be read ahead with this much memory available.
    static bool fitsInMemory(int32_t width, int32_t height, std::optional<uint64_t> available);

private:
    // What a read is for, and the share of it a waiting caller may take.
    struct Wanted {
        std::string path;
        PrefetchKey key;
        std::shared_ptr<SharedWork> work;
        bool is(const std::string& p, PrefetchKey k) const { return key == k && path == p; }
    };
    // A finished read, until it is taken or dropped: nothing when it failed or was refused.
    struct Done {
        std::string path;
        PrefetchKey key;
        std::optional<Picture> picture;
        FileIdentity identity;
    };

    void read(const std::string& path, PrefetchKey key, SharedWork& work, std::stop_token stop);
    void freeReleased();

    mutable std::mutex mutex_;
    std::optional<Wanted> reading_;  // started and not yet ended (nor dropped unstarted)
    std::optional<Done> done_;
    std::vector<Picture> released_;  // pictures for the worker to release
    Loader loader_;
    JobThread worker_;  // last: stopped and joined before the members its jobs use go
};

}  // namespace qfip
