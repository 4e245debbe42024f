#pragma once

// GLUT keyboard callback: Escape quits; the digits select a ball (0 for none); Delete switches
// the selected ball on or off; Backspace switches lighting; "+"/"-" step the isolevel; "/"/"*"
// halve and double the voxel size and rebuild the grid. Every key but Escape then goes to
// moveCamera, which reloads the view and requests a redraw.
void keyboard(unsigned char key, int x, int y);

// GLUT special-key callback: while a ball is selected, the arrows and Page Up/Down move it one
// unit along the world axes and Home/End grow and shrink its radius; any special key then
// re-evaluates the field and requests a redraw. With no ball selected it does nothing at all.
void specialKey(int key, int x, int y);

// The scene operations of the keys, for whatever else changes the scene as a key does (the
// benchmarks). useVoxelSize: the grid of that voxel size with the field of the scene's balls, as
// "/" and "*" make it, without the redraw. setLighting: lit filled surface or unlit wireframe,
// lightingOn and GL_LIGHTING together, as Backspace switches them.
void useVoxelSize(double voxelSize);
void setLighting(bool on);
