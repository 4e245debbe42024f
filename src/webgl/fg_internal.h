/* What freeglut's font data (fg_font_data.c, from Debian's freeglut source package, built as it
   is) needs of freeglut's internal header: the bitmap font's structure, as freeglut defines it. */
#ifndef VIEWER_FG_INTERNAL_H
#define VIEWER_FG_INTERNAL_H

#include <GL/gl.h>

typedef struct tagSFG_Font SFG_Font;
struct tagSFG_Font {
    char* Name;                 /* The source font name */
    int Quantity;               /* Number of chars in font */
    int Height;                 /* Height of the characters */
    const GLubyte** Characters; /* The characters mapping */
    float xorig, yorig;         /* Relative origin of the character */
};

#endif
