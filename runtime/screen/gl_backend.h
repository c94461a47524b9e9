// runtime/screen/gl_backend.h — the few drawing operations whose form differs between OpenGL 1.x
// (the desktop, gl_backend_gl1.cpp) and WebGL 2 (the web page, gl_backend_webgl.cpp).
//
// The screen, the sprite store and the sprite display keep one code path each; only the
// projection, the textured quads with their two texture modes, the state a new context needs
// and reading a texture back go through here. Everything else they call (textures, clears,
// viewports, the back buffer's read-back) is the same in both APIs. All calls belong on the
// thread that opened the screen.
#pragma once

#include <cstdint>

namespace gl_backend {

// The texture modes of a sprite display. Both blend with (source alpha, one minus source alpha).
enum class TextureMode {
  modulate,    // the texel's colour, its alpha times the vertex alpha
  silhouette,  // the vertex colour, with the texel's alpha times the vertex alpha
};

struct QuadVertex {
  float x, y;  // logical, y upwards from the bottom
  float s, t;  // texels of the bottom-up texture
  uint8_t colour[4];
};

// Sets up a context the screen has just made current (texturing on, the drawing program).
void context_ready();
// The projection that maps logical x 0..width and y 0..height onto the viewport.
void set_projection(int logical_width, int logical_height);
// Draws `vertex_count` / 4 quads (corners top-left, top-right, bottom-right, bottom-left) with
// `texture` (texture_width x texture_height texels) in `mode`; leaves the current colour as the
// last vertex's.
void draw_quads(unsigned texture, int texture_width, int texture_height, TextureMode mode,
                const QuadVertex* vertices, int vertex_count);
#ifndef __EMSCRIPTEN__
// The same for quads whose every texel has alpha 0 or 255 and whose every vertex alpha is 255,
// where blending either keeps the pixel or replaces it: the OpenGL 1.x backend draws them with
// an alpha test instead of blending, which gives the same pixels for less work.
void draw_cutout_quads(unsigned texture, int texture_width, int texture_height, TextureMode mode,
                       const QuadVertex* vertices, int vertex_count);
#endif
// Reads a whole texture back as RGBA bytes, rows bottom-up as it stores them (the desktop reads
// the texture itself; WebGL has no such call and reads it through a framebuffer).
void read_texture(unsigned texture, int width, int height, void* rgba);

}  // namespace gl_backend
