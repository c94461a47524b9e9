// The OpenGL 1.x backend: a fixed-function projection, rectangle textures addressed in texels,
// the texture environment for the two modes, and client-side vertex arrays drawn as quads.
#include <GL/gl.h>
#include <GL/glu.h>

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
}

void set_projection(int logical_width, int logical_height) {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluOrtho2D(0, logical_width, 0, logical_height);
}

void draw_quads(unsigned texture, int, int, TextureMode mode, const QuadVertex* v, int vertex_count) {
  glEnable(kScreenTextureTarget);
  glBindTexture(kScreenTextureTarget, texture);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
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
  // The current colour is left as the last display would have set it.
  glColor4ubv(v[vertex_count - 1].colour);
}

void read_texture(unsigned texture, int, int, void* rgba) {
  glBindTexture(kScreenTextureTarget, texture);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  glGetTexImage(kScreenTextureTarget, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
}

}  // namespace gl_backend
