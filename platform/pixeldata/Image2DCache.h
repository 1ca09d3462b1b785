#pragma once

#include "platform/pixeldata/Image2D.h"

#include <QSharedPointer>
#include <QString>

#include <cstddef>
#include <list>
#include <memory>
#include <mutex>
#include <unordered_map>

/// Finished images of the pixel-data library kept under string keys, shared by every
/// Image2DCached built on it. Thread-safe: every call locks. Holds at most capacity()
/// images and drops the one used longest ago when a new key would exceed that.
class Image2DCache
{
public:
    static constexpr std::size_t kDefaultCapacity = 32;

    explicit Image2DCache(std::size_t capacity = kDefaultCapacity);

    /// The image under `key` (and marks it as used), or null when absent.
    QSharedPointer<Image2D> find(const QString& key);
    /// Stores `image` under `key`, replacing an earlier entry; a null image removes the key.
    void insert(const QString& key, QSharedPointer<Image2D> image);
    void clear();
    std::size_t size() const;
    std::size_t capacity() const { return m_capacity; }

private:
    using Order = std::list<QString>; // most recently used first
    struct Entry
    {
        QSharedPointer<Image2D> image;
        Order::iterator position;
    };

    const std::size_t m_capacity;
    mutable std::mutex m_mutex;
    Order m_order;
    std::unordered_map<QString, Entry> m_entries;
};

/// A view of one shared Image2DCache; copies share the cache. A null cache holds nothing.
class Image2DCached
{
public:
    explicit Image2DCached(std::shared_ptr<Image2DCache> cache);

    /// The image stored under `key`, or null when absent.
    QSharedPointer<Image2D> getImage(const QString& key) const;
    void setImage(QSharedPointer<Image2D> image, const QString& key);

private:
    std::shared_ptr<Image2DCache> m_cache;
};
