#pragma once

// GLUT display callback: draws one whole frame from scratch.
void display();
