// The OpenGL 1.x backend: a fixed-function projection, rectangle textures addressed in texels,
// the texture environment for the two modes, and client-side vertex arrays drawn as quads.
#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <vector>

#include "runtime/screen/gl_backend.h"
#include "runtime/screen/screen.h"

namespace gl_backend {
namespace {

// OpenGL 1.3 combiner names (GL_ARB_texture_env_combine).
constexpr GLenum kCombine = 0x8570, kCombineRgb = 0x8571, kSource0Rgb = 0x8580, kSource1Rgb = 0x8581,
                 kOperand0Rgb = 0x8590, kOperand1Rgb = 0x8591, kPrimaryColor = 0x8578;

// Modulate: the texel's colour, its alpha scaled by the primary alpha. Silhouette: a combiner
// that replaces the texel's RGB with the primary colour (alpha still modulated).
void set_texture_mode(TextureMode mode) {
  if (mode == TextureMode::modulate) {
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    return;
  }
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, kCombine);
  glTexEnvi(GL_TEXTURE_ENV, kCombineRgb, GL_REPLACE);
  glTexEnvi(GL_TEXTURE_ENV, kSource0Rgb, kPrimaryColor);
  glTexEnvi(GL_TEXTURE_ENV, kSource1Rgb, GL_TEXTURE);
  glTexEnvi(GL_TEXTURE_ENV, kOperand0Rgb, GL_SRC_COLOR);
  glTexEnvi(GL_TEXTURE_ENV, kOperand1Rgb, GL_SRC_COLOR);
}

}  // namespace

void context_ready() {
  glEnable(kScreenTextureTarget);
  // Every quad lies at z = 0 and the screen's depth function is GL_LEQUAL, so the depth test
  // passes every fragment; left on, it only makes Mesa's software rasteriser read and write the
  // depth buffer for every pixel (measured with --bench's profile: a full-screen layer 4-24 %
  // cheaper without it).
  glDisable(GL_DEPTH_TEST);
}

void set_projection(int logical_width, int logical_height) {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluOrtho2D(0, logical_width, 0, logical_height);
}

namespace {

void draw(unsigned texture, TextureMode mode, bool cutout, const QuadVertex* v, int vertex_count) {
  glEnable(kScreenTextureTarget);
  glBindTexture(kScreenTextureTarget, texture);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  if (cutout) {
    glDisable(GL_BLEND);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0.0f);
  } else {
    glEnable(GL_BLEND);
  }
  set_texture_mode(mode);
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glEnableClientState(GL_COLOR_ARRAY);
  glVertexPointer(2, GL_FLOAT, sizeof(QuadVertex), &v->x);
  glTexCoordPointer(2, GL_FLOAT, sizeof(QuadVertex), &v->s);
  glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(QuadVertex), v->colour);
  glDrawArrays(GL_QUADS, 0, GLsizei(vertex_count));
  glDisableClientState(GL_COLOR_ARRAY);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
  // Blending stays on and the alpha test off between draws, as code drawing with OpenGL itself
  // expects; the current colour is left as the last display would have set it.
  if (cutout) {
    glDisable(GL_ALPHA_TEST);
    glEnable(GL_BLEND);
  }
  glColor4ubv(v[vertex_count - 1].colour);
}

}  // namespace

void draw_quads(unsigned texture, int, int, TextureMode mode, const QuadVertex* v, int vertex_count) {
  draw(texture, mode, false, v, vertex_count);
}

// Blending a texel of alpha 255 at full intensity gives the texel's colour exactly, and one of
// alpha 0 leaves the pixel as it was: for such quads, discarding the fragments of alpha 0 and
// writing the others unblended gives the same pixels without reading the back buffer (measured
// with --bench's profile: the page's and rules' glyphs 18-26 % cheaper).
void draw_cutout_quads(unsigned texture, int, int, TextureMode mode, const QuadVertex* v, int vertex_count) {
  draw(texture, mode, true, v, vertex_count);
}

void read_texture(unsigned texture, int, int, void* rgba) {
  glBindTexture(kScreenTextureTarget, texture);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  glGetTexImage(kScreenTextureTarget, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
}

}  // namespace gl_backend

namespace {
double now_ms() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}
}  // namespace

ScreenYardstick screen_measure_yardstick(int rounds, int layers, double (*cpu_clock_ms)()) {
  ScreenYardstick result;
  if (!screen_is_open() || rounds <= 0 || layers <= 0) return result;
  screen_flush();
  const int w = screen_logical_width(), h = screen_logical_height();
  // Every row its own colour, so that nothing about the texture is uniform.
  std::vector<uint32_t> texels(size_t(w) * size_t(h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      texels[size_t(y) * size_t(w) + size_t(x)] =
          0xFF000000u | (uint32_t(y) * 0x010307u + uint32_t(x) * 0x000100u);
  GLuint texture = 0;
  glGenTextures(1, &texture);
  glBindTexture(kScreenTextureTarget, texture);
  glTexParameteri(kScreenTextureTarget, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(kScreenTextureTarget, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  glTexImage2D(kScreenTextureTarget, 0, GL_RGBA8, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());

  const GLboolean depth_test = glIsEnabled(GL_DEPTH_TEST);
  glDisable(GL_DEPTH_TEST);
  glEnable(kScreenTextureTarget);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glColor4ub(255, 255, 255, 128);
  auto draw_layers = [&](int count) {
    for (int i = 0; i < count; ++i) {
      glBegin(GL_QUADS);
      glTexCoord2f(0, GLfloat(h));
      glVertex2f(0, GLfloat(h));
      glTexCoord2f(GLfloat(w), GLfloat(h));
      glVertex2f(GLfloat(w), GLfloat(h));
      glTexCoord2f(GLfloat(w), 0);
      glVertex2f(GLfloat(w), 0);
      glTexCoord2f(0, 0);
      glVertex2f(0, 0);
      glEnd();
    }
  };
  draw_layers(layers);  // the rasteriser compiles its code for this state before the clock runs
  glFinish();
  auto cpu_ms = [&] { return cpu_clock_ms ? cpu_clock_ms() : 0.0; };
  std::vector<double> full, empty, fixed, full_cpu, empty_cpu, fixed_cpu;
  for (int round = 0; round < rounds; ++round) {
    // Alternated, so that a slow spell of the shared machine falls on all three alike.
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glFinish();
    double start = now_ms(), start_cpu = cpu_ms();
    draw_layers(layers);
    glFinish();
    full.push_back(now_ms() - start);
    full_cpu.push_back(cpu_ms() - start_cpu);
    start = now_ms();
    start_cpu = cpu_ms();
    glFinish();
    empty.push_back(now_ms() - start);
    empty_cpu.push_back(cpu_ms() - start_cpu);
    start = now_ms();
    start_cpu = cpu_ms();
    screen_clear(0);
    screen_flip();
    glFinish();
    fixed.push_back(now_ms() - start);
    fixed_cpu.push_back(cpu_ms() - start_cpu);
  }
  result.layer_ms = std::max(0.0, (median(full) - median(empty)) / layers);
  result.fixed_ms = median(fixed);
  result.layer_cpu_ms = std::max(0.0, (median(full_cpu) - median(empty_cpu)) / layers);
  result.fixed_cpu_ms = median(fixed_cpu);
  glDeleteTextures(1, &texture);
  if (depth_test) glEnable(GL_DEPTH_TEST);
  screen_clear(0);
  return result;
}
