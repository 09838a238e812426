// A bounded queue of blocks between two threads: compression runs on one
// core while the tar side reads or writes files on the other, or the disk
// works while the socket moves the next block, with at most `capacity`
// blocks in flight.
#pragma once

#include <QByteArray>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

template <typename Block>
class BasicBlockQueue
{
public:
    explicit BasicBlockQueue(size_t capacity) : m_capacity(capacity) {}

    // Waits for room; false when the queue was closed by the other side.
    bool push(Block block)
    {
        std::unique_lock lock(m_mutex);
        m_notFull.wait(lock, [&] { return m_blocks.size() < m_capacity || m_closed; });
        if (m_closed)
            return false;
        m_blocks.push_back(std::move(block));
        m_notEmpty.notify_one();
        return true;
    }

    // Waits for a block; none once the queue is closed and empty.
    std::optional<Block> pop()
    {
        std::unique_lock lock(m_mutex);
        m_notEmpty.wait(lock, [&] { return !m_blocks.empty() || m_closed; });
        if (m_blocks.empty())
            return std::nullopt;
        Block block = std::move(m_blocks.front());
        m_blocks.pop_front();
        m_notFull.notify_one();
        return block;
    }

    // No more blocks will come (producer) or be taken (consumer).
    void close()
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        m_notEmpty.notify_all();
        m_notFull.notify_all();
    }

private:
    size_t m_capacity;
    std::mutex m_mutex;
    std::condition_variable m_notEmpty;
    std::condition_variable m_notFull;
    std::deque<Block> m_blocks;
    bool m_closed = false;
};

using BlockQueue = BasicBlockQueue<QByteArray>;
