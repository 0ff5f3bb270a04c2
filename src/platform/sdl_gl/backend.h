// Internal to the sdl_gl back end: how its window and its device meet.
#pragma once
