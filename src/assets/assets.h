// Assets: the image files become OpenGL textures, the height-map files fill the
// shared height map. Every loader reads fixed offsets and never interprets a header.
#pragma once

// 32 rows of 64 columns, row by row; all zeros until a loader fills it.
extern unsigned char heightMap[2048];

// Each creates a new texture object from an image file and leaves it bound.
void loadOrangeTexture();  // "cmap.tga", texel red, green, blue = stored bytes 0, 2, 1
void loadBlueTexture();    // "cmap.tga", stored bytes 1, 2, 0
void loadGreenTexture();   // "cmap.tga", stored bytes 2, 0, 1
void loadEndPicture();     // "color2.tga", stored bytes 2, 1, 0

// Exchanges the bytes at a and b.
void swapBytes(unsigned char *a, unsigned char *b);

// Replace heightMap with the heights of "tesilmap.tga" / "tesilmapc.tga".
void loadHeightMap();
void loadHeightMapC();
