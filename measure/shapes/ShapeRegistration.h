#pragma once

// Fills the kind registry with every shape class built so far. Idempotent;
// the overlay calls it before it makes its measurement system.
void RegisterMeasureShapes();
