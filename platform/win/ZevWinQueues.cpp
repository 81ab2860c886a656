// The message queue of each thread.
#include "ZevWindowCore.h"
#include "ZevWindowCoreState.h"

#include <sys/eventfd.h>
#include <unistd.h>
#include <algorithm>

using namespace ZevWinCore;

TZevMsgQueue::TZevMsgQueue() : eventFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)), owner(std::this_thread::get_id())
{
}

TZevMsgQueue::~TZevMsgQueue()
{
    if (eventFd >= 0)
        ::close(eventFd);
}

void TZevMsgQueue::Wake()
{
    const std::uint64_t one = 1;
    if (eventFd >= 0) {
        const ssize_t written = ::write(eventFd, &one, sizeof one);
        (void)written;
    }
}

void TZevMsgQueue::DrainWake()
{
    std::uint64_t value = 0;
    if (eventFd >= 0) {
        const ssize_t got = ::read(eventFd, &value, sizeof value);
        (void)got;
    }
}

void TZevSurface::Resize(std::int32_t w, std::int32_t h, std::uint32_t fill)
{
    width = std::max(0, w);
    height = std::max(0, h);
    pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), fill);
}

// The queue of the calling thread, made on first use. When the thread ends, senders still waiting are answered.
std::shared_ptr<TZevMsgQueue> ZevCurrentQueue()
{
    struct Holder {
        std::shared_ptr<TZevMsgQueue> queue;
        ~Holder()
        {
            if (!queue)
                return;
            std::lock_guard<std::mutex> lock(queue->mutex);
            queue->alive = false;
            for (TZevSentItem* item : queue->sent)
                item->done = true;
            queue->sent.clear();
            queue->answered.notify_all();
        }
    };
    thread_local Holder holder;
    if (!holder.queue) {
        holder.queue = std::make_shared<TZevMsgQueue>();
        tQueue = holder.queue;
    }
    return holder.queue;
}
