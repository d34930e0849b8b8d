// Marker cells. Colour is premultiplied by density, and the density is also written
// as depth inside the stroke's own band, so that the renderer's two-pass draw blends
// only the densest fragment of the stroke in each pixel: a stroke never darkens
// where it crosses itself.
// The engine puts "#version 120" and VBO_Z_BAND_INCREMENT (the depth of one band,
// the same constant the record walk steps by) in front of this file.

uniform vec3 u_markerData;  // x maxPenWidth (pixels), y widthMinToMaxRatio, z opacityMinToMaxRatio
uniform float u_zOffset;    // start of the stroke's depth band

const float FILTER_WIDTH = 1.6;  // pixels of the anti-alias ramp

void main()
{
    float pressure = gl_TexCoord[0].s;
    vec2 offset = gl_TexCoord[0].tp;
    float maxPenWidth = u_markerData.x;

    float penWidth = maxPenWidth * (u_markerData.y * (1.0 - pressure) + pressure);
    float penRad = penWidth * 0.5;
    float penOpacity = u_markerData.z * (1.0 - pressure) + pressure;

    float dist = length(offset) * maxPenWidth * 0.5;  // pixels from the centre line

    // The offset shrinks with a thin pen, so the stroke fades out as its width goes
    // to zero instead of vanishing abruptly.
    float filterOffset = min(FILTER_WIDTH * 0.5, penRad);
    float profile = clamp((penRad - dist + filterOffset) / FILTER_WIDTH, 0.0, 1.0);

    float density = penOpacity * profile;
    gl_FragColor = gl_Color * density;
    gl_FragDepth = u_zOffset + density * VBO_Z_BAND_INCREMENT;
}
