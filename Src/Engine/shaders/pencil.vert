// Pencil stamps: the same vertex stage as the marker (position through the
// fixed-function matrices, colour and stroke data passed on).
// The engine puts "#version 120" and its shared constants in front of this file.
void main()
{
    gl_Position = ftransform();
    gl_FrontColor = gl_Color;
    gl_TexCoord[0] = gl_MultiTexCoord0;
}
