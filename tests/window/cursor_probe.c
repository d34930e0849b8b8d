/* Prints the cursor the X server shows now: "<width>x<height> hot <x>,<y> centre-alpha <a>". */
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>
#include <stdio.h>

int main(void)
{
    Display* display = XOpenDisplay(NULL);
    if (!display) return 1;
    XFixesCursorImage* image = XFixesGetCursorImage(display);
    if (!image) return 1;
    unsigned long centre = image->pixels[image->yhot * image->width + image->xhot];
    printf("%dx%d hot %d,%d centre-alpha %lu\n", image->width, image->height, image->xhot, image->yhot,
           (centre >> 24) & 0xFF);
    XFree(image);
    XCloseDisplay(display);
    return 0;
}
