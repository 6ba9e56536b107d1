// A null GL, GLU and GLUT for the CPU benchmarks: every call the effects and assets make
// does nothing but count itself when asked.

// What a benchmark times is then our own work and the calls' overhead. Counting is off
// while timing: one counter bumped by every call would chain each call to the one before
// it through memory. Kept in a file of its own (and built without link-time optimisation)
// so that every call stays a real call, as it is into the real libraries.
#include "null_gl.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <GL/freeglut.h>

bool nullGlCounting = false;
long nullGlCalls = 0;

static void counted()
{
    if (nullGlCounting)
        nullGlCalls++;
}

void glMatrixMode(GLenum) { counted(); }
void glLoadIdentity() { counted(); }
void glEnable(GLenum) { counted(); }
void glDisable(GLenum) { counted(); }
void glClear(GLbitfield) { counted(); }
void glBlendFunc(GLenum, GLenum) { counted(); }
void glBegin(GLenum) { counted(); }
void glEnd() { counted(); }
void glColor4f(GLfloat, GLfloat, GLfloat, GLfloat) { counted(); }
void glColor3f(GLfloat, GLfloat, GLfloat) { counted(); }
void glVertex3f(GLfloat, GLfloat, GLfloat) { counted(); }
void glTexCoord2f(GLfloat, GLfloat) { counted(); }
void glScalef(GLfloat, GLfloat, GLfloat) { counted(); }
void glRotatef(GLfloat, GLfloat, GLfloat, GLfloat) { counted(); }
void glGenTextures(GLsizei n, GLuint *names)
{
    counted();
    for (GLsizei k = 0; k < n; k++)
        names[k] = GLuint(k + 1);
}
void glBindTexture(GLenum, GLuint) { counted(); }
void glTexParameteri(GLenum, GLenum, GLint) { counted(); }
void glTexImage2D(GLenum, GLint, GLint, GLsizei, GLsizei, GLint, GLenum, GLenum, const void *)
{
    counted();
}
void gluPerspective(GLdouble, GLdouble, GLdouble, GLdouble) { counted(); }
void glutSwapBuffers() { counted(); }
