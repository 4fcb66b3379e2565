#pragma once

#include <functional>

// The position in the browser's picture list. The four buttons stop at the
// ends of the list; the slide show goes round: after the last picture comes
// the first again (backwards: after the first, the last).
class PictureCursor {
public:
    enum class Order { Forward, Backward, Random };
    // A number from 0 to bound - 1; tests give a fixed sequence.
    using Random = std::function<int(int bound)>;

    explicit PictureCursor(Random random = {});

    // A list of count pictures, positioned on the first (none when empty).
    void reset(int count);
    int count() const { return m_count; }
    // The current picture; -1 when the list is empty.
    int index() const { return m_index; }
    // Moves to i when it is in the list; true when it did.
    bool moveTo(int i);

    bool first() { return moveTo(0); }
    bool last() { return moveTo(m_count - 1); }
    bool previous() { return moveTo(m_index - 1); }
    bool next() { return moveTo(m_index + 1); }
    bool atFirst() const { return m_index <= 0; }
    bool atLast() const { return m_index >= m_count - 1; }

    // One step of the slide show in the given order; Random picks another
    // picture than the current one when there are two or more.
    bool step(Order order);

private:
    Random m_random;
    int m_count = 0;
    int m_index = -1;
};
