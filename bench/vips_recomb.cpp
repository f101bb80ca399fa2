// libvips on the tool's job, as one process: the vips command's recomb with
// the permutation matrix, cast back to the input's sample format (recomb
// makes floats, which the PNG writer casts and the TIFF writer would keep),
// read and written with sequential access as the vips command does.
//
//   vips_recomb INPUT OUTPUT[options] MATRIX
#include <vips/vips.h>

#include <initializer_list>

int main(int argc, char** argv) {
  if (argc != 4 || VIPS_INIT(argv[0]) != 0) return 2;
  VipsImage* in = vips_image_new_from_file(argv[1], "access", VIPS_ACCESS_SEQUENTIAL, nullptr);
  VipsImage* matrix = vips_image_new_from_file(argv[3], nullptr);
  VipsImage *mixed = nullptr, *cast = nullptr;
  if (in == nullptr || matrix == nullptr || vips_recomb(in, &mixed, matrix, nullptr) != 0 ||
      vips_cast(mixed, &cast, in->BandFmt, nullptr) != 0 || vips_image_write_to_file(cast, argv[2], nullptr) != 0)
    vips_error_exit("vips_recomb");
  for (VipsImage* image : {in, matrix, mixed, cast}) g_object_unref(image);
  vips_shutdown();
  return 0;
}
