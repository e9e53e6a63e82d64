# Writes the graph filters' generated pixel shaders into OUT_DIR: the variants of one rule
# each come from that rule's one definition here. Run as a script:
#   cmake -DOUT_DIR=... [-DPACK_DIR=...] -P gen_filter_shaders.cmake
# PACK_DIR receives the RGBA-mix pack's sources and their list for shaderasm's code table.
file(MAKE_DIRECTORY ${OUT_DIR})
set(nl "\n")

include(${CMAKE_CURRENT_LIST_DIR}/write_shader.cmake)

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

# HSB, from pieces that keep the CPU path's integer steps (whole levels, truncated divisions),
# each step in the fewest slots so that every program fits ps_2_0's 64:
# PARAMS: r9.xyz = (H, S, V) = trunc(256 x (h, g', v)), r10.z = |V|.
# ANALYSE: the brightness, c' = floor(c (256 - |V|) / 256 + max(V, 0) 255 / 256) (both of the
#   CPU path's cases), then max r1.x, delta r1.w, lightness L r8.z and saturation
#   s' = min(floor(s (S + 256) / 256), 256) r8.y.
# HUE: the colour's hue in 1/256 sextants plus H, brought into 0-1535: r8.x.
# SYNTH: from r8 = (hue, s', L): the pure colour of the hue (each channel a clamped ramp of
#   |hue - centre|), greyed, x = floor(x s' / 256 + 128 - s' / 2), and lit,
#   x = floor(x min(L, 256 - L) / 128 + max(L - 128, 0) 255 / 128); alpha from r0.a.
# The first pass of mode 0 stores (hue x 252 / 1536 levels (42 a sextant, so that the
# sextants' edges are exact), s' / 256, L / 255, alpha), which the second reads back.
# c0 = (hue shift h in sextants, saturation factor g', brightness v, 0); c1, c2 are not read.
set(head "ps_2_0
def c10, 0, 1, 0.5, 256
def c11, 255, 0.00390625, 0.00392156863, 0.001
def c12, 128, 512, 1536, 0.0078125
def c13, 767.5, 511.5, 1023.5, 257.5
def c14, 1, -1, -1, 0.99609375
def c15, -256.5, 511.5, 511.5, 1.9921875
def c16, 0, 512, 1024, 0.000643382353
def c17, 255, 256, 255, 6.0952381
dcl t0.xy
dcl_2d s0
texld r0, t0, s0
")
set(params "mul r9.xyz, c0, c10.w
max r10.xyz, r9, -r9
frc r11.xyz, r10
add r10.xyz, r10, -r11
cmp r9.xyz, r9, r10, -r10
")
set(analyse "mad r0.rgb, r0, c11.x, c10.z
frc r1.rgb, r0
add r0.rgb, r0, -r1
mad r2.x, r10.z, -c11.y, c10.y
max r2.y, r9.z, c10.x
mul r2.y, r2.y, c14.w
mad r0.rgb, r0, r2.x, r2.y
frc r1.rgb, r0
add r0.rgb, r0, -r1
max r1.x, r0.r, r0.g
max r1.x, r1.x, r0.b
min r1.y, r0.r, r0.g
min r1.y, r1.y, r0.b
add r1.z, r1.x, r1.y
add r1.w, r1.x, -r1.y
mul r8.z, r1.z, c10.z
frc r2.z, r8.z
add r8.z, r8.z, -r2.z
add r3.x, c12.y, -r1.z
add r3.y, r1.z, -c13.w
cmp r3.x, r3.y, r3.x, r1.z
max r3.x, r3.x, c10.y
rcp r3.x, r3.x
mul r3.y, r1.w, c10.w
mad r3.y, r3.y, r3.x, c11.w
frc r3.z, r3.y
add r3.y, r3.y, -r3.z
mad r3.z, r9.y, c11.y, c10.y
mul r8.y, r3.y, r3.z
frc r3.w, r8.y
add r8.y, r8.y, -r3.w
min r8.y, r8.y, c10.w
")
set(hue "max r4.x, r1.w, c10.y
rcp r4.x, r4.x
add r5.rgb, r1.x, -r0
mul r5.rgb, r5, c10.w
mad r5.rgb, r5, r4.x, c11.w
frc r6.rgb, r5
add r5.rgb, r5, -r6
add r6.x, r5.b, -r5.g
add r6.y, r5.r, -r5.b
add r6.z, r5.g, -r5.r
add r6.xyz, r6, c16
add r7.x, r0.r, -r1.x
add r7.y, r0.g, -r1.x
cmp r8.x, r7.y, r6.y, r6.z
cmp r8.x, r7.x, r6.x, r8.x
add r8.x, r8.x, r9.x
cmp r7.z, r8.x, c10.x, c12.z
add r8.x, r8.x, r7.z
add r7.w, r8.x, -c12.z
cmp r8.x, r7.w, r7.w, r8.x
")
set(synth "add r4.xyz, r8.x, -c13
max r4.xyz, r4, -r4
mad r4.xyz, r4, c14, c15
max r4.xyz, r4, c10.x
min r4.xyz, r4, c11.x
mul r5.x, r8.y, c11.y
mad r5.y, r8.y, -c10.z, c12.x
mad r4.xyz, r4, r5.x, r5.y
frc r6.xyz, r4
add r4.xyz, r4, -r6
add r5.z, c10.w, -r8.z
min r5.z, r5.z, r8.z
mul r5.z, r5.z, c12.w
mad r5.w, r8.z, c15.w, -c11.x
max r5.w, r5.w, c10.x
mad r4.xyz, r4, r5.z, r5.w
frc r6.xyz, r4
add r4.xyz, r4, -r6
mul r4.xyz, r4, c11.z
mov r4.w, r0.a
mov oC0, r4
")
set(doc "; c0 = (hue shift in sextants, saturation factor g', brightness, 0); the CPU path's integer steps.\n")
write_shader(Hsb_RGB_TO_HSB "; HSB, first pass: brightness, then the hue (shifted), s' and lightness of each pixel,
; written as (hue in 252 levels, s' / 256, lightness / 255, alpha).
${doc}${head}${params}${analyse}${hue}mul r10.r, r8.x, c16.w
mul r10.g, r8.y, c11.y
mul r10.b, r8.z, c11.z
mov r10.a, r0.a
mov oC0, r10
")
write_shader(Hsb_HSB_TO_RGB "; HSB, second pass: the colour of the first pass's hue, s' and lightness (each read
; back to its nearest whole step; hue level 252 is hue 0).
${doc}${head}mad r8.xyz, r0, c17, c10.z
frc r6.xyz, r8
add r8.xyz, r8, -r6
mad r8.x, r8.x, c17.w, c10.z
frc r6.x, r8.x
add r8.x, r8.x, -r6.x
add r6.x, r8.x, -c12.z
cmp r8.x, r6.x, r6.x, r8.x
${synth}")
write_shader(Hsb_HSB_HLOCK "; HSB with the hue locked: brightness, then the pixel's own s' and lightness with the
; hue H (1536 taken as 0).
${doc}${head}${params}${analyse}add r7.w, r9.x, -c12.z
cmp r8.x, r7.w, r7.w, r9.x
${synth}")

# Gauss: the centre sample times w[0] plus, for j = 1 .. n-1, w[j] times the samples at plus
# and minus offset j (each a bilinear mean of two pixels) along the pass's axis.
# c0 = texture size, c1..c4 = w[0..15], c5..c20 = offset j (x in the first pass, y in the second).
# The 32-pixel kernel's 31 samples and 62 arithmetic slots fit ps_2_0's 32 and 64.
set(components x y z w)
foreach(width 08 16 32)
  math(EXPR n "${width} / 2")
  math(EXPR last "${n} - 1")
  set(text "; Gauss, ${width}-pixel kernel: ${n} weights, taps up to ${last} offsets each side.\n")
  string(APPEND text "; c1..c4 = weights w[0..15], c5 + j = offset j along the pass's axis (texture units).\n")
  string(APPEND text "ps_2_0\ndcl t0.xy\ndcl_2d s0\ntexld r0, t0, s0\nmul r0, r0, c1.x\n")
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

# The basic blends: one head (source and blend pixels as whole levels 0-255 in r0 and r1,
# r3.x = the ratio r = floor(ratio x 256), r3.w = K = blend alpha x r), then per type its
# target colour T (r4.rgb, whole levels) and the CPU path's weighting
# floor(S + (T - S) x K / 65536) with the source alpha; types 14-16 have rules of their own.
# Every step keeps the CPU path's whole-level truncations (x - frc(x)).
# c0 = blend ratio (e / 255) in every component, c1 = (1, 1, 1, 1).
function(floor_of reg tmp mask out)
  set(${out} "frc ${tmp}.${mask}, ${reg}\nadd ${reg}.${mask}, ${reg}, -${tmp}\n" PARENT_SCOPE)
endfunction()
floor_of(r0 r2 rgba floor_s)
floor_of(r1 r2 rgba floor_b)
set(blend_head "ps_2_0
def c10, 255, 0.5, 256, 0.00390625
def c11, 0, 1, 128, 2
def c12, 65536, 0.0000152587890625, 0.00392156863, 0.0078125
def c13, 0.00196, 0.0019, 0.0005, 0
dcl t0.xy
dcl t1.xy
dcl_2d s0
dcl_2d s1
texld r0, t0, s0
texld r1, t1, s1
mad r0, r0, c10.x, c10.y
${floor_s}mad r1, r1, c10.x, c10.y
${floor_b}mul r3.x, c0.x, c10.z
frc r3.y, r3.x
add r3.x, r3.x, -r3.y
mul r3.w, r1.a, r3.x
")
floor_of(r4 r2 rgb floor_t)
floor_of(r6 r2 rgb floor_6)
floor_of(r7 r2 rgb floor_7)
set(weighted_tail "add r5.rgb, r4, -r0
mul r5.rgb, r5, r3.w
mad r5.rgb, r5, c12.y, r0
frc r2.rgb, r5
add r5.rgb, r5, -r2
mul r5.rgb, r5, c12.z
mul r5.a, r0.a, c12.z
mov oC0, r5
")
# Overlay and HardLight: the dark case 2SB / 256, the bright case 2((256 - S)B + 256S) / 256 -
# 255 (at most 255), chosen by the case register's channel being below 128.
function(overlay_rule case out)
  set(${out} "mul r6.rgb, r0, r1
mul r6.rgb, r6, c12.w
frc r2.rgb, r6
add r6.rgb, r6, -r2
add r7.rgb, c10.z, -r0
mul r7.rgb, r7, r1
mad r7.rgb, r0, c10.z, r7
mul r7.rgb, r7, c12.w
frc r2.rgb, r7
add r7.rgb, r7, -r2
add r7.rgb, r7, -c10.x
min r7.rgb, r7, c10.x
add r8.rgb, ${case}, -c11.z
cmp r4.rgb, r8, r7, r6
" PARENT_SCOPE)
endfunction()
overlay_rule(r0 overlay)
overlay_rule(r1 hard_light)
set(target_Normal "mov r4.rgb, r1\n")
set(target_Multiple "mul r4.rgb, r1, r0\nmul r4.rgb, r4, c10.w\n${floor_t}")
set(target_Difference "add r4.rgb, r0, -r1\nmax r4.rgb, r4, c11.x\n")
set(target_Add "add r4.rgb, r0, r1\nmin r4.rgb, r4, c10.x\n")
set(target_Screen "add r6.rgb, c10.x, -r1\nadd r7.rgb, c10.x, -r0\nmul r6.rgb, r6, r7\nmul r6.rgb, r6, c10.w\n${floor_6}add r4.rgb, c10.x, -r6\n")
set(target_Overlay "${overlay}")
set(target_Dodge "add r6.rgb, c10.x, -r1
max r6.rgb, r6, c11.y
rcp r7.r, r6.r
rcp r7.g, r6.g
rcp r7.b, r6.b
mul r7.rgb, r7, r0
mad r7.rgb, r7, c10.z, c13.x
${floor_7}min r7.rgb, r7, c10.x
add r8.rgb, r1, -c10.x
cmp r4.rgb, r8, c10.x, r7
")
set(target_Burn "add r6.rgb, r1, c11.y
rcp r7.r, r6.r
rcp r7.g, r6.g
rcp r7.b, r6.b
add r6.rgb, c10.x, -r0
mul r7.rgb, r7, r6
mad r7.rgb, r7, c10.z, c13.y
${floor_7}add r4.rgb, c10.x, -r7
max r4.rgb, r4, c11.x
")
set(target_Darken "min r4.rgb, r0, r1\n")
set(target_Lighten "max r4.rgb, r0, r1\n")
set(target_SoftLight "mul r6.rgb, r0, c12.z
mul r7.rgb, r1, c12.z
mad r8.rgb, r7, -c11.w, c11.w
rcp r9.r, r7.r
rcp r9.g, r7.g
rcp r9.b, r7.b
mul r9.rgb, r9, c10.y
add r10.rgb, r1, -c11.z
cmp r8.rgb, r10, r9, r8
pow r4.r, r6.r, r8.r
pow r4.g, r6.g, r8.g
pow r4.b, r6.b, r8.b
mul r4.rgb, r4, c10.x
${floor_t}max r4.rgb, r4, c11.x
min r4.rgb, r4, c10.x
")
set(target_HardLight "${hard_light}")
set(target_Exclusion "add r6.rgb, c11.z, -r0
mul r6.rgb, r6, r1
mad r6.rgb, r0, c11.z, r6
mul r6.rgb, r6, c12.w
${floor_6}min r4.rgb, r6, c10.x
")
# The blend pixel over the source: a = floor(K / 256), D = S_A(256 - a) + 256a; colour
# (S x S_A(256 - a) + 256a x B) / D, alpha D / 256; 0 where D is 0.
set(rule_Normal_AlphaCh "mul r6.x, r3.w, c10.w
frc r6.y, r6.x
add r6.x, r6.x, -r6.y
add r6.y, c10.z, -r6.x
mul r6.w, r0.a, r6.y
mad r6.z, r6.x, c10.z, r6.w
mul r7.x, r6.x, c10.z
mul r8.rgb, r0, r6.w
mad r8.rgb, r1, r7.x, r8
max r7.y, r6.z, c11.y
rcp r7.y, r7.y
mad r8.rgb, r8, r7.y, c13.z
mul r8.a, r6.z, c10.w
frc r2, r8
add r8, r8, -r2
cmp r8, -r6.z, c11.x, r8
mul r8, r8, c12.z
mov oC0, r8
")
# Added over the source: a = floor(K / 256), A = floor((S_A(256 - a) + 256a) / 256); colour
# (S x S_A + a x B) / A at most 255, alpha A; 0 where A is 0.
set(rule_Add_AlphaCh "mul r6.x, r3.w, c10.w
frc r6.y, r6.x
add r6.x, r6.x, -r6.y
add r6.y, c10.z, -r6.x
mul r6.w, r0.a, r6.y
mad r6.z, r6.x, c10.z, r6.w
mul r6.z, r6.z, c10.w
frc r6.y, r6.z
add r6.z, r6.z, -r6.y
mul r8.rgb, r0, r0.a
mad r8.rgb, r1, r6.x, r8
max r7.y, r6.z, c11.y
rcp r7.y, r7.y
mad r8.rgb, r8, r7.y, c13.z
frc r2.rgb, r8
add r8.rgb, r8, -r2
min r8.rgb, r8, c10.x
mov r8.a, r6.z
cmp r8, -r6.z, c11.x, r8
mul r8, r8, c12.z
mov oC0, r8
")
# Alpha only: S_A + ((floor(B_A x S_A / 256) - S_A) x r x 255) / 65536, floored; source colour.
set(rule_Multiple_AOnly "mul r6.x, r1.a, r0.a
mul r6.x, r6.x, c10.w
frc r6.y, r6.x
add r6.x, r6.x, -r6.y
add r6.x, r6.x, -r0.a
mul r6.x, r6.x, r3.x
mul r6.x, r6.x, c10.x
mad r6.x, r6.x, c12.y, r0.a
frc r6.y, r6.x
add r8.a, r6.x, -r6.y
mov r8.rgb, r0
mul r8, r8, c12.z
mov oC0, r8
")
foreach(name Normal Multiple Difference Add Screen Overlay Dodge Burn Darken Lighten SoftLight HardLight Exclusion)
  write_shader(BasBF_${name} "; Blend ${name}: the source towards the mode's target colour by the blend alpha x the ratio.
; c0 = blend ratio. Stage 0: the source, stage 1: the blend graph.
${blend_head}${target_${name}}${weighted_tail}")
endforeach()
foreach(name Normal_AlphaCh Add_AlphaCh Multiple_AOnly)
  write_shader(BasBF_${name} "; Blend ${name}. c0 = blend ratio. Stage 0: the source, stage 1: the blend graph.
${blend_head}${rule_${name}}")
endforeach()

# The RGBA mix: each output channel a copy of one channel. Letters R, G, B, A name the channels.
set(letters r g b a)
set(names R G B A)
# The named files: the colour from the source (R, G, B or one channel three times), the alpha
# from the blend graph.
foreach(colour "0;1;2" "0;0;0" "1;1;1" "2;2;2")
  foreach(alpha 0 1 2 3)
    set(file "RGBAMix_")
    set(text "ps_2_0\ndcl t0.xy\ndcl t1.xy\ndcl_2d s0\ndcl_2d s1\ntexld r0, t0, s0\ntexld r1, t1, s1\n")
    set(out_index 0)
    foreach(c ${colour})
      list(GET names ${c} n)
      list(GET letters ${c} l)
      list(GET letters ${out_index} o)
      string(APPEND file "S${n}")
      string(APPEND text "mov r2.${o}, r0.${l}\n")
      math(EXPR out_index "${out_index} + 1")
    endforeach()
    list(GET names ${alpha} n)
    list(GET letters ${alpha} l)
    string(APPEND file "B${n}")
    string(APPEND text "mov r2.a, r1.${l}\nmov oC0, r2\n")
    write_shader(${file} "; RGBA mix ${file}: colour from the source, alpha from the blend graph.\n${text}")
  endforeach()
endforeach()

# The pack: every selection of source channels (index = red x 64 + green x 16 + blue x 4 +
# alpha), listed for the code table as "ENTRY SLOT SOURCE" with ENTRY = index / 4.
if(DEFINED PACK_DIR)
  file(MAKE_DIRECTORY ${PACK_DIR})
  set(list "")
  foreach(index RANGE 255)
    set(text "; RGBA mix pack entry ${index}: source channels only.\nps_2_0\ndcl t0.xy\ndcl_2d s0\ntexld r0, t0, s0\n")
    foreach(out 0 1 2 3)
      math(EXPR sel "(${index} >> (6 - 2 * ${out})) & 3")
      list(GET letters ${sel} l)
      list(GET letters ${out} o)
      string(APPEND text "mov r1.${o}, r0.${l}\n")
    endforeach()
    string(APPEND text "mov oC0, r1\n")
    set(saved_out ${OUT_DIR})
    set(OUT_DIR ${PACK_DIR})
    write_shader(pack_${index} "${text}")
    set(OUT_DIR ${saved_out})
    math(EXPR entry "${index} / 4")
    math(EXPR slot "${index} % 4")
    string(APPEND list "${entry} ${slot} pack_${index}.psh\n")
  endforeach()
  set(old "")
  if(EXISTS ${PACK_DIR}/list.txt)
    file(READ ${PACK_DIR}/list.txt old)
  endif()
  if(NOT old STREQUAL list)
    file(WRITE ${PACK_DIR}/list.txt "${list}")
  endif()
endif()
