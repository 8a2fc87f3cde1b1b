#include "camera/SDLBackground.h"

#include <SDL.h>

SDLBackground* videoWindow = nullptr;

SDLBackground::SDLBackground() { SDL_Init(SDL_INIT_TIMER | SDL_INIT_EVENTS); }

SDLBackground::~SDLBackground() { SDL_Quit(); }
