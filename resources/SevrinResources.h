#pragma once

// Registers the compiled-in resource bundle (icons under ":/res/", the font
// under ":/font/"). Static libraries drop unreferenced resource initialisers,
// so start-up and tests call this once before using any resource.
void sevrinInitResources();
