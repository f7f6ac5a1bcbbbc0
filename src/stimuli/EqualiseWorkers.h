// Threads for work on a set's pictures one at a time, and the turn that adds
// their shares to a sum in picture order whatever thread computed them.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>

namespace stimuli {

// Runs work(k, worker) for k = 0 .. count-1 on `jobs` threads (the calling
// thread among them), each k once, taken in increasing order; worker is the
// thread's number from 0, for its scratch buffers. The first exception thrown
// stops the handing out of pictures and is raised again here once every
// thread has stopped.
void ForEachPicture(std::size_t count, int jobs,
                    const std::function<void(std::size_t k, int worker)>& work);

// Picture k's share is added when every share before it has been: a sum over
// the set comes out of the same additions in the same order for any number of
// threads. Wait(k) blocks until it is k's turn (false when the turns were
// abandoned, after a failure); Done(k) passes the turn to k + 1.
class Turns {
public:
    bool Wait(std::size_t k);
    void Done(std::size_t k);
    void Abandon();

private:
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t next = 0;
    bool abandoned = false;
};

// fourier::Dft, one power-of-two grid at a time: the transform lends its fast
// workspace to one call, and a call made meanwhile takes the in-place path,
// which on two cores gives less than waiting for the fast one. Other sizes
// (direct sums, nothing shared) run side by side. The same bits either way.
void TakeTurnsDft(double* grid, const std::uint32_t* dims, std::int32_t count, std::int32_t sign);

}  // namespace stimuli
