// Pencil stamps: a soft round dab with grain. Overlapping stamps accumulate (one
// pass, no depth), so a pencil darkens where it goes over itself. Colour is
// premultiplied. The stamp's size is in its cell, so no width is needed here.
// The engine puts "#version 120" and its shared constants in front of this file.

uniform vec4 u_pencilData;  // x maxPenWidth, y widthMinToMaxRatio, z opacityMinToMaxRatio, w noiseScale

void main()
{
    float pressure = gl_TexCoord[0].s;
    vec2 offset = gl_TexCoord[0].tp;

    float penOpacity = u_pencilData.z * (1.0 - pressure) + pressure;
    float normalizedDist = length(offset);  // 0 at the stamp's centre, 1 at its edge

    // Hashed grain from the window position; it fades to nothing over the outer quarter.
    vec2 v = gl_FragCoord.xy * normalizedDist;
    float random = fract(sin(dot(v, vec2(12.9898, 78.233))) * 43758.5453);
    float noise = u_pencilData.w * (random - 0.5) * clamp(4.0 * (1.0 - normalizedDist), 0.0, 1.0);

    // Full at the centre, zero 5 % inside the edge.
    float ramp = 0.95 - normalizedDist;
    penOpacity *= clamp(ramp + noise, 0.0, 1.0);

    // Faint stamps would show their rings where they pile up: push low densities down.
    if (gl_Color.a >= 0.3) {
        if (penOpacity <= 0.5) penOpacity = penOpacity * penOpacity * 2.0;
    } else if (penOpacity <= 0.35) {
        penOpacity = penOpacity * penOpacity * 2.85714;
    }

    gl_FragColor = gl_Color * penOpacity;
}
