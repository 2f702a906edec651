// Shared between the platform's video and input files: the SDL screen and the
// joystick handle, which the video side opens and closes and the input side reads.
#pragma once

struct SDL_Surface;

SDL_Surface* GpScreenSurface();
void GpOpenJoystick();
void GpCloseJoystick();
