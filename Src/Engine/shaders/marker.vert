// Marker cells: the position goes through the fixed-function model-view and
// projection; the colour and the stroke data in texture coordinate 0 (s pressure,
// t and p the offset from the centre line over the maximum radius) pass on.
// The engine puts "#version 120" and its shared constants in front of this file.
void main()
{
    gl_Position = ftransform();
    gl_FrontColor = gl_Color;
    gl_TexCoord[0] = gl_MultiTexCoord0;
}
