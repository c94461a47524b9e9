// gl-baseline — opens what every OpenGL program on this machine needs and nothing more: SDL's
// video, one 800 x 640 window and a 2.1 OpenGL context, then clears and presents a few frames
// and prints the time to the first presented frame and the peak resident memory. The intro's
// own figures (quorvane-intro --bench) are read against these: the driver's share (Mesa's
// software rasteriser takes most of it) is not the intro's.
//
//   gl-baseline [--frames N]
#include <SDL.h>
#include <SDL_opengl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/os/os.h"

int main(int argc, char** argv) {
  const auto start = std::chrono::steady_clock::now();
  int frames = 60;
  if (argc == 3 && std::strcmp(argv[1], "--frames") == 0 && std::atoi(argv[2]) > 0) {
    frames = std::atoi(argv[2]);
  } else if (argc != 1) {
    std::fprintf(stderr, "usage: gl-baseline [--frames N]\n");
    return 2;
  }
  SDL_SetMainReady();
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    std::fprintf(stderr, "gl-baseline: no video: %s\n", SDL_GetError());
    return 1;
  }
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
  SDL_Window* window = SDL_CreateWindow("gl-baseline", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, 800,
                                        640, SDL_WINDOW_OPENGL | SDL_WINDOW_BORDERLESS);
  SDL_GLContext context = window ? SDL_GL_CreateContext(window) : nullptr;
  if (!context) {
    std::fprintf(stderr, "gl-baseline: no OpenGL context: %s\n", SDL_GetError());
    SDL_Quit();
    return 1;
  }
  double first_ms = 0;
  for (int i = 0; i < frames; ++i) {
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
    }
    glClearColor(1 / 255.0f, 11 / 255.0f, 21 / 255.0f, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    SDL_GL_SwapWindow(window);
    if (i == 0) {
      glFinish();
      first_ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    }
  }
  std::printf("gl-baseline: video driver %s, renderer %s\n", SDL_GetCurrentVideoDriver(),
              reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
  std::printf("first frame presented %.1f ms after main(); peak memory (VmHWM) %.1f MB\n", first_ms,
              os::peak_memory_kb() / 1024.0);
  SDL_GL_DeleteContext(context);
  SDL_DestroyWindow(window);
  SDL_Quit();
  return 0;
}
