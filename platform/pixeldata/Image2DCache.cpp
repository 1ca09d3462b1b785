#include "platform/pixeldata/Image2DCache.h"

#include <algorithm>
#include <utility>

Image2DCache::Image2DCache(std::size_t capacity) : m_capacity(std::max<std::size_t>(capacity, 1))
{
}

QSharedPointer<Image2D> Image2DCache::find(const QString& key)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_entries.find(key);
    if (it == m_entries.end())
        return {};
    m_order.splice(m_order.begin(), m_order, it->second.position);
    return it->second.image;
}

void Image2DCache::insert(const QString& key, QSharedPointer<Image2D> image)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_entries.find(key);
    if (it != m_entries.end())
    {
        m_order.erase(it->second.position);
        m_entries.erase(it);
    }
    if (!image)
        return;
    m_order.push_front(key);
    m_entries.emplace(key, Entry{std::move(image), m_order.begin()});
    while (m_entries.size() > m_capacity)
    {
        m_entries.erase(m_order.back());
        m_order.pop_back();
    }
}

void Image2DCache::clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_entries.clear();
    m_order.clear();
}

std::size_t Image2DCache::size() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_entries.size();
}

Image2DCached::Image2DCached(std::shared_ptr<Image2DCache> cache) : m_cache(std::move(cache))
{
}

QSharedPointer<Image2D> Image2DCached::getImage(const QString& key) const
{
    return m_cache ? m_cache->find(key) : QSharedPointer<Image2D>();
}

void Image2DCached::setImage(QSharedPointer<Image2D> image, const QString& key)
{
    if (m_cache)
        m_cache->insert(key, std::move(image));
}
