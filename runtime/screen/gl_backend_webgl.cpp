// The WebGL 2 backend: one small shader program does what the desktop's fixed function does.
// The projection is a uniform (the same orthographic map as gluOrtho2D), texture coordinates
// stay in texels and are divided by the texture's size in the vertex shader (WebGL has no
// rectangle textures), the two texture modes are a uniform switch in the fragment shader,
// and the quads are drawn as indexed triangle pairs from a vertex buffer.
#include <GLES3/gl3.h>

#include <cstdio>
#include <vector>

#include "runtime/screen/gl_backend.h"

namespace gl_backend {
namespace {

constexpr char kVertexShader[] = R"(#version 300 es
uniform vec2 logical_size;
uniform vec2 texture_size;
in vec2 position;
in vec2 texel;
in vec4 colour;
out vec2 coordinate;
out vec4 primary;
void main() {
  gl_Position = vec4(position / logical_size * 2.0 - 1.0, 0.0, 1.0);
  coordinate = texel / texture_size;
  primary = colour;
}
)";

// Modulate: texel x primary. Silhouette: the primary colour with the texel's alpha x primary
// alpha, as the desktop's GL_REPLACE combiner on the primary colour.
constexpr char kFragmentShader[] = R"(#version 300 es
precision highp float;
uniform sampler2D picture;
uniform bool silhouette;
in vec2 coordinate;
in vec4 primary;
out vec4 fragment;
void main() {
  vec4 texel = texture(picture, coordinate);
  fragment = silhouette ? vec4(primary.rgb, texel.a * primary.a) : texel * primary;
}
)";

struct Program {
  GLuint program = 0, buffer = 0, indices = 0, array = 0;
  GLint logical_size = -1, texture_size = -1, silhouette = -1, picture = -1;
  int logical_width = 1, logical_height = 1;
  int index_quads = 0;
};
Program gpu;

GLuint compile(GLenum type, const char* source) {
  const GLuint shader = glCreateShader(type);
  glShaderSource(shader, 1, &source, nullptr);
  glCompileShader(shader);
  GLint ok = 0;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
  if (!ok) {
    char log[512] = {};
    glGetShaderInfoLog(shader, sizeof log, nullptr, log);
    std::fprintf(stderr, "quorvane-intro: a WebGL shader does not compile: %s\n", log);
  }
  return shader;
}

void ensure_indices(int quads) {
  if (quads <= gpu.index_quads) return;
  int n = gpu.index_quads ? gpu.index_quads : 256;
  while (n < quads) n *= 2;
  std::vector<GLuint> indices;
  indices.reserve(size_t(n) * 6);
  for (GLuint q = 0; q < GLuint(n); ++q)
    for (GLuint corner : {0u, 1u, 2u, 0u, 2u, 3u}) indices.push_back(q * 4 + corner);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, gpu.indices);
  glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(indices.size() * sizeof(GLuint)), indices.data(),
               GL_STATIC_DRAW);
  gpu.index_quads = n;
}

}  // namespace

void context_ready() {
  if (gpu.program) return;  // the canvas keeps its context, and with it the program
  gpu.program = glCreateProgram();
  glAttachShader(gpu.program, compile(GL_VERTEX_SHADER, kVertexShader));
  glAttachShader(gpu.program, compile(GL_FRAGMENT_SHADER, kFragmentShader));
  glBindAttribLocation(gpu.program, 0, "position");
  glBindAttribLocation(gpu.program, 1, "texel");
  glBindAttribLocation(gpu.program, 2, "colour");
  glLinkProgram(gpu.program);
  gpu.logical_size = glGetUniformLocation(gpu.program, "logical_size");
  gpu.texture_size = glGetUniformLocation(gpu.program, "texture_size");
  gpu.silhouette = glGetUniformLocation(gpu.program, "silhouette");
  gpu.picture = glGetUniformLocation(gpu.program, "picture");
  glGenVertexArrays(1, &gpu.array);
  glBindVertexArray(gpu.array);
  glGenBuffers(1, &gpu.buffer);
  glGenBuffers(1, &gpu.indices);
  glBindBuffer(GL_ARRAY_BUFFER, gpu.buffer);
  glEnableVertexAttribArray(0);
  glEnableVertexAttribArray(1);
  glEnableVertexAttribArray(2);
  glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, sizeof(QuadVertex), reinterpret_cast<void*>(0));
  glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, sizeof(QuadVertex), reinterpret_cast<void*>(8));
  glVertexAttribPointer(2, 4, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(QuadVertex), reinterpret_cast<void*>(16));
  ensure_indices(256);
}

void set_projection(int logical_width, int logical_height) {
  gpu.logical_width = logical_width > 0 ? logical_width : 1;
  gpu.logical_height = logical_height > 0 ? logical_height : 1;
}

void draw_quads(unsigned texture, int texture_width, int texture_height, TextureMode mode,
                const QuadVertex* vertices, int vertex_count) {
  if (!gpu.program || vertex_count < 4) return;
  const int quads = vertex_count / 4;
  glUseProgram(gpu.program);
  glBindVertexArray(gpu.array);
  ensure_indices(quads);
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_2D, texture);
  // Sprite textures come in any size: no mipmaps, edges clamped (WebGL's rule for such sizes).
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glUniform1i(gpu.picture, 0);
  glUniform2f(gpu.logical_size, float(gpu.logical_width), float(gpu.logical_height));
  glUniform2f(gpu.texture_size, float(texture_width > 0 ? texture_width : 1),
              float(texture_height > 0 ? texture_height : 1));
  glUniform1i(gpu.silhouette, mode == TextureMode::silhouette ? 1 : 0);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glBindBuffer(GL_ARRAY_BUFFER, gpu.buffer);
  glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(size_t(quads) * 4 * sizeof(QuadVertex)), vertices, GL_STREAM_DRAW);
  glDrawElements(GL_TRIANGLES, quads * 6, GL_UNSIGNED_INT, nullptr);
}

void read_texture(unsigned texture, int width, int height, void* rgba) {
  // The texture becomes the colour buffer of a framebuffer of its own for one read; the
  // screen's own framebuffer is bound again after.
  GLint previous = 0;
  glGetIntegerv(GL_FRAMEBUFFER_BINDING, &previous);
  GLuint framebuffer = 0;
  glGenFramebuffers(1, &framebuffer);
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
  glBindFramebuffer(GL_FRAMEBUFFER, GLuint(previous));
  glDeleteFramebuffers(1, &framebuffer);
}

}  // namespace gl_backend
