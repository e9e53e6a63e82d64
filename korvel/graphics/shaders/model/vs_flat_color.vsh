; Model vertex shader: world, view and projection (c94, c6, c2) applied to the position; the
; vertex colour and first texture coordinates passed on.
vs_2_0
dcl_position v0
dcl_color v1
dcl_texcoord v2
m4x4 r0, v0, c94
m4x4 r1, r0, c6
m4x4 oPos, r1, c2
mov oD0, v1
mov oT0.xy, v2
