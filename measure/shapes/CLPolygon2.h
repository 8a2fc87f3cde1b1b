#pragma once

#include "measure/shapes/CLPolygon.h"

// The lasso (kind 18): every mouse position of a drag becomes a vertex; the
// release closes the outline (CloseLasso), the last position staying as the
// label anchor. Measures like the polygon; never snaps.
class CLPolygon2 : public CLPolygon {
public:
    CLPolygon2();

    bool IsFinished() override;
    void SetLanguage(int lang) override;
    // Closes the dragged outline: false, and nothing closed, with fewer than
    // four positions (the lasso is then dropped rather than kept unfinished).
    bool CloseLasso();
};
