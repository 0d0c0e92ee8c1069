#pragma once

namespace spinlorex {

// Where a controller's jog wheels go: the top of the wheel touched or let go, and the
// wheel turned by `turns` (+ clockwise). Called from one thread at a time.
class JogTarget {
public:
    virtual ~JogTarget() = default;
    virtual void touch(int deck, bool touched) = 0;
    virtual void turn(int deck, double turns) = 0;
};

}  // namespace spinlorex
