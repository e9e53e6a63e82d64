# Writes the graph filters' generated pixel shaders into OUT_DIR: the variants of one rule
# each come from that rule's one definition here. Run as a script:
#   cmake -DOUT_DIR=... -P gen_filter_shaders.cmake
file(MAKE_DIRECTORY ${OUT_DIR})
set(nl "\n")

# Writes OUT_DIR/name.psh when its text changed (so that unchanged shaders are not rebuilt).
function(write_shader name text)
  set(out ${OUT_DIR}/${name}.psh)
  set(old "")
  if(EXISTS ${out})
    file(READ ${out} old)
  endif()
  if(NOT old STREQUAL text)
    file(WRITE ${out} "${text}")
  endif()
endfunction()

# DownScale: the mean of K bilinear samples at the output pixel's centre plus the offsets of
# c0..c(K-1); each sample lies on the corner between four texels.
foreach(d 2 4 8)
  math(EXPR k "(${d} / 2) * (${d} / 2)")
  math(EXPR last "${k} - 1")
  set(text "; DownScale by ${d}: the mean of the ${d} x ${d} source block of each output pixel, from\n")
  string(APPEND text "; ${k} bilinear sample(s) at the centre plus the offsets c0..c${last} (texture units).\n")
  set(mean_of_1 1)
  set(mean_of_4 0.25)
  set(mean_of_16 0.0625)
  string(APPEND text "ps_2_0\ndef c20, 0, 0, 0, 0\ndef c21, ${mean_of_${k}}, 0, 0, 0\n")
  string(APPEND text "dcl t0.xy\ndcl_2d s0\nmov r0, c20\n")
  foreach(i RANGE ${last})
    string(APPEND text "add r1.xy, t0, c${i}\ntexld r1, r1, s0\nadd r0, r0, r1\n")
  endforeach()
  string(APPEND text "mul r0, r0, c21.x\nmov oC0, r0\n")
  write_shader(DownScaleX${d} "${text}")
endforeach()

# GradientMap: the pixel becomes the gradient's texel at the CPU path's column for its
# luminance, from the left end or (Rev) from the right end.
# c0 = luminance weights; c1 = (u of the gradient's texel 0 centre, 1 / texture width, v of its
# first row, gradient width / 256). Stage 1: the gradient graph.
foreach(variant "" Rev)
  set(text "; GradientMap${variant}: luminance index k = floor(254.875 x luminance) (the CPU path's\n")
  string(APPEND text "; 4094/4096 weights), ")
  if(variant STREQUAL "Rev")
    string(APPEND text "reversed to 255 - k, ")
  endif()
  string(APPEND text "column floor(k x width / 256) of the gradient's first row.\n")
  string(APPEND text "; c0 = luminance weights, c1 = (u of texel 0's centre, 1 / texture width, v of the row,\n")
  string(APPEND text "; gradient width / 256). Stage 1: the gradient graph.\n")
  string(APPEND text "ps_2_0\ndef c2, 254.875, 255, 0, 0\ndcl t0.xy\ndcl_2d s0\ndcl_2d s1\n")
  string(APPEND text "texld r0, t0, s0\ndp3 r1.x, r0, c0\nmul r1.x, r1.x, c2.x\nfrc r1.y, r1.x\nadd r1.x, r1.x, -r1.y\n")
  if(variant STREQUAL "Rev")
    string(APPEND text "add r1.x, c2.y, -r1.x\n")
  endif()
  string(APPEND text "mul r1.x, r1.x, c1.w\nfrc r1.y, r1.x\nadd r1.x, r1.x, -r1.y\nmad r1.x, r1.x, c1.y, c1.x\n")
  string(APPEND text "mov r1.y, c1.z\ntexld r2, r1, s1\nmov oC0, r2\n")
  write_shader(GradientMap${variant} "${text}")
endforeach()

# HSB, from three pieces that keep the CPU path's integer steps (whole levels, truncated
# divisions): ANALYSE (brightness by V = trunc(256 v), then lightness L (r2.x), saturation
# s' = min(floor((S + 256) s / 256), 256) with S = trunc(256 g') (r3.z)), HUE (the hue of the
# colour in steps of 1/256 sextant plus trunc(256 h), 0-1535: r8.x), SYNTH (from r8.x, r3.z
# and r2.x: the pure colour of the hue, greyed by s', lit by L; alpha from r0.a). The first
# pass of mode 0 stores (hue x 252 / 1536 levels (42 a sextant, so that the sextants' edges are
# exact), s' / 256, L / 255, alpha), which the second reads back.
# c0 = (hue shift h in sextants, saturation factor g', brightness v, 0); c1, c2 are not read.
# The programs outgrow ps_2_0's 64 arithmetic slots: ps_2_x.
set(head "ps_2_x
def c10, 0, 1, 0.5, 6
def c11, 255, 256, 0.00390625, 0.00392156863
def c12, 128, 512, 1536, 0.001
def c13, 768, 512, 1024, 128.5
def c14, 1, -1, -1, 0.000643382353
def c15, -256, 512, 512, 0
def c16, 0.000001, 0, 0, 0
def c17, 0, 512, 1024, 0
def c18, 6.0952381, 0, 0, 0
dcl t0.xy
dcl_2d s0
texld r0, t0, s0
")
set(analyse "mad r0.rgb, r0, c11.x, c10.z
frc r1.rgb, r0
add r0.rgb, r0, -r1
mul r9.x, c0.z, c11.y
max r8.x, r9.x, -r9.x
frc r8.y, r8.x
add r8.x, r8.x, -r8.y
cmp r9.x, r9.x, r8.x, -r8.x
add r1.rgb, c11.x, -r0
mul r1.rgb, r1, r9.x
mad r1.rgb, r1, c11.z, r0
add r2.x, r9.x, c11.y
mul r2.rgb, r0, r2.x
mul r2.rgb, r2, c11.z
cmp r0.rgb, -r9.x, r2, r1
frc r1.rgb, r0
add r0.rgb, r0, -r1
max r1.x, r0.r, r0.g
max r1.x, r1.x, r0.b
min r1.y, r0.r, r0.g
min r1.y, r1.y, r0.b
add r1.z, r1.x, r1.y
add r1.w, r1.x, -r1.y
mul r2.x, r1.z, c10.z
frc r2.y, r2.x
add r2.x, r2.x, -r2.y
add r3.x, c12.y, -r1.z
add r3.y, r2.x, -c13.w
cmp r3.x, r3.y, r3.x, r1.z
max r3.x, r3.x, c16.x
rcp r3.x, r3.x
mul r3.z, r1.w, c11.y
mad r3.z, r3.z, r3.x, c12.w
frc r3.w, r3.z
add r3.z, r3.z, -r3.w
mul r9.y, c0.y, c11.y
max r8.x, r9.y, -r9.y
frc r8.y, r8.x
add r8.x, r8.x, -r8.y
cmp r9.y, r9.y, r8.x, -r8.x
add r4.x, r9.y, c11.y
mul r4.x, r4.x, r3.z
mul r4.x, r4.x, c11.z
frc r4.y, r4.x
add r4.x, r4.x, -r4.y
min r3.z, r4.x, c11.y
")
set(hue "max r4.x, r1.w, c10.y
rcp r4.x, r4.x
add r5.xyz, r1.x, -r0
mul r5.xyz, r5, c11.y
mad r5.xyz, r5, r4.x, c12.w
frc r6.xyz, r5
add r5.xyz, r5, -r6
add r6.xyz, r5.zxyw, -r5.yzxw
add r6.xyz, r6, c17
add r7.x, r0.r, -r1.x
add r7.y, r0.g, -r1.x
cmp r8.x, r7.y, r6.y, r6.z
cmp r8.x, r7.x, r6.x, r8.x
cmp r8.y, r8.x, c10.x, c12.z
add r8.x, r8.x, r8.y
mul r9.z, c0.x, c11.y
max r7.x, r9.z, -r9.z
frc r7.y, r7.x
add r7.x, r7.x, -r7.y
cmp r9.z, r9.z, r7.x, -r7.x
add r8.x, r8.x, r9.z
cmp r8.y, r8.x, c10.x, c12.z
add r8.x, r8.x, r8.y
add r8.y, r8.x, -c12.z
cmp r8.x, r8.y, r8.y, r8.x
")
set(synth "add r4.xyz, r8.x, -c13
max r5.xyz, r4, -r4
mad r5.xyz, r5, c14, c15
cmp r6.x, r4.x, c10.x, c10.y
cmp r6.yz, -r4, c10.x, c10.y
add r5.xyz, r5, -r6
max r5.xyz, r5, c10.x
min r5.xyz, r5, c11.x
add r6.xyz, c12.x, -r5
add r7.x, c11.y, -r3.z
mul r6.xyz, r6, r7.x
mul r6.xyz, r6, c11.z
frc r7.xyz, r6
add r6.xyz, r6, -r7
add r5.xyz, r5, r6
add r7.w, r2.x, r2.x
mul r6.xyz, r5, r7.w
mul r6.xyz, r6, c11.z
frc r7.xyz, r6
add r6.xyz, r6, -r7
add r4.xyz, c11.x, -r5
add r7.w, r2.x, -c12.x
add r7.w, r7.w, r7.w
mul r4.xyz, r4, r7.w
mul r4.xyz, r4, c11.z
frc r7.xyz, r4
add r4.xyz, r4, -r7
add r4.xyz, r4, r5
add r7.w, r2.x, -c13.w
cmp r5.xyz, r7.w, r4, r6
mul r5.xyz, r5, c11.w
mov r5.w, r0.a
mov oC0, r5
")
set(doc "; c0 = (hue shift in sextants, saturation factor g', brightness, 0); the CPU path's integer steps.\n")
write_shader(Hsb_RGB_TO_HSB "; HSB, first pass: brightness, then the hue (shifted), s' and lightness of each pixel,
; written as (hue in 252 levels, s' / 256, lightness / 255, alpha).
${doc}${head}${analyse}${hue}mul r10.r, r8.x, c14.w
mul r10.g, r3.z, c11.z
mul r10.b, r2.x, c11.w
mov r10.a, r0.a
mov oC0, r10
")
write_shader(Hsb_HSB_TO_RGB "; HSB, second pass: the colour of the first pass's hue, s' and lightness (each read
; back to its nearest whole step).
${doc}${head}mad r8.x, r0.r, c11.x, c10.z
frc r8.y, r8.x
add r8.x, r8.x, -r8.y
mad r8.x, r8.x, c18.x, c10.z
frc r8.y, r8.x
add r8.x, r8.x, -r8.y
add r8.y, r8.x, -c12.z
cmp r8.x, r8.y, r8.y, r8.x
mul r3.z, r0.g, c11.y
add r3.z, r3.z, c10.z
frc r3.w, r3.z
add r3.z, r3.z, -r3.w
mad r2.x, r0.b, c11.x, c10.z
frc r2.y, r2.x
add r2.x, r2.x, -r2.y
${synth}")
write_shader(Hsb_HSB_HLOCK "; HSB with the hue locked: brightness, then the pixel's own s' and lightness with the
; hue trunc(256 h) (1536 taken as 0).
${doc}${head}${analyse}mul r8.x, c0.x, c11.y
frc r8.y, r8.x
add r8.x, r8.x, -r8.y
add r8.y, r8.x, -c12.z
cmp r8.x, r8.y, r8.y, r8.x
${synth}")

# Gauss: the centre sample times w[0] plus, for j = 1 .. n-1, w[j] times the samples at plus
# and minus offset j (each a bilinear mean of two pixels) along the pass's axis.
# c0 = texture size, c1..c4 = w[0..15], c5..c20 = offset j (x in the first pass, y in the second).
# The 32-pixel kernel is assembled as ps_2_x, whose longer programs leave room for its 31 samples.
set(components x y z w)
foreach(width 08 16 32)
  math(EXPR n "${width} / 2")
  math(EXPR last "${n} - 1")
  set(model ps_2_0)
  if(width STREQUAL "32")
    set(model ps_2_x)
  endif()
  set(text "; Gauss, ${width}-pixel kernel: ${n} weights, taps up to ${last} offsets each side.\n")
  string(APPEND text "; c1..c4 = weights w[0..15], c5 + j = offset j along the pass's axis (texture units).\n")
  string(APPEND text "${model}\ndcl t0.xy\ndcl_2d s0\ntexld r0, t0, s0\nmul r0, r0, c1.x\n")
  foreach(j RANGE 1 ${last})
    math(EXPR reg "5 + ${j}")
    math(EXPR wreg "1 + ${j} / 4")
    math(EXPR wcomp "${j} % 4")
    list(GET components ${wcomp} comp)
    string(APPEND text "add r1.xy, t0, c${reg}\nadd r2.xy, t0, -c${reg}\ntexld r1, r1, s0\ntexld r2, r2, s0\n")
    string(APPEND text "add r1, r1, r2\nmad r0, r1, c${wreg}.${comp}, r0\n")
  endforeach()
  string(APPEND text "mov oC0, r0\n")
  write_shader(Gauss_${width}Pixel_PS "${text}")
endforeach()

