#include "archive/PictureCursor.h"

#include <QRandomGenerator>

PictureCursor::PictureCursor(Random random) : m_random(std::move(random))
{
    if (!m_random)
        m_random = [](int bound) { return int(QRandomGenerator::global()->bounded(bound)); };
}

void PictureCursor::reset(int count)
{
    m_count = count < 0 ? 0 : count;
    m_index = m_count > 0 ? 0 : -1;
}

bool PictureCursor::moveTo(int i)
{
    if (i < 0 || i >= m_count)
        return false;
    m_index = i;
    return true;
}

bool PictureCursor::step(Order order)
{
    if (m_count <= 0)
        return false;
    switch (order) {
    case Order::Forward:
        return moveTo(atLast() ? 0 : m_index + 1);
    case Order::Backward:
        return moveTo(atFirst() ? m_count - 1 : m_index - 1);
    case Order::Random:
        if (m_count == 1)
            return moveTo(0);
        // Another picture than this one: draw among the others.
        int drawn = m_random(m_count - 1);
        if (drawn < 0 || drawn >= m_count - 1)
            drawn = 0;
        return moveTo(drawn >= m_index ? drawn + 1 : drawn);
    }
    return false;
}
