#pragma once

// Fills the kind registry with every shape class built so far. Idempotent;
// the main widget calls it before it makes the overlay (the engine below
// knows the shapes only through the registry), tests before theirs.
void RegisterMeasureShapes();
