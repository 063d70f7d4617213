#pragma once
// Bookkeeping shared between an image and the worker jobs that work on it
// (thumbnails, background warps).
#include <condition_variable>
#include <mutex>

// A job that has been taken from the queue may start after the image's
// destructor has cancelled the queued ones; it checks `alive` here (never the
// image) and the destructor waits until no job is inside the image any more.
struct VELDANImageJobs {
    std::mutex lock;
    std::condition_variable idle;
    bool alive = true;
    int running = 0;

    // Registers a job that is about to use the image; false when the image
    // is going away (the job must not touch it then).
    bool Begin() {
        std::lock_guard<std::mutex> hold(lock);
        if (!alive) return false;
        ++running;
        return true;
    }
    void End() {
        std::lock_guard<std::mutex> hold(lock);
        if (--running == 0) idle.notify_all();
    }
};
