#include "com/design_time_picture.h"

#include <ocidl.h>
#include <olectl.h>

#include "com/com_module.h"
#include "com/resource_ids.h"

namespace vexlor::com {

bool DrawDesignTimePicture(HDC dc, const RECT& bounds) {
  RECT inside = bounds;
  DrawEdge(dc, &inside, EDGE_RAISED, BF_RECT | BF_ADJUST);
  auto bitmap = static_cast<HBITMAP>(
      LoadImageW(ModuleHandle(), MAKEINTRESOURCEW(VEXLOR_IDB_FACE),
                 IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
  if (bitmap == nullptr) return false;
  // The picture object renders in the container's mapping mode, which a
  // plain StretchBlt would not honour for metafiles and printers.
  PICTDESC description = {};
  description.cbSizeofstruct = sizeof description;
  description.picType = PICTYPE_BITMAP;
  description.bmp.hbitmap = bitmap;
  IPicture* picture = nullptr;
  bool drawn = false;
  if (SUCCEEDED(OleCreatePictureIndirect(&description, IID_IPicture, FALSE,
                                         reinterpret_cast<void**>(&picture)))) {
    OLE_XSIZE_HIMETRIC width = 0;
    OLE_YSIZE_HIMETRIC height = 0;
    picture->get_Width(&width);
    picture->get_Height(&height);
    // Pictures measure from the bottom up, so the source runs upwards.
    drawn = SUCCEEDED(picture->Render(
        dc, inside.left, inside.top, inside.right - inside.left,
        inside.bottom - inside.top, 0, height, width, -height, nullptr));
    picture->Release();
  }
  DeleteObject(bitmap);
  return drawn;
}

}  // namespace vexlor::com
