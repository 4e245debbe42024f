#pragma once

// Draws the row of screen-fixed labels along the bottom of the view.
void drawLabels();
