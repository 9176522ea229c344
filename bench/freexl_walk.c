/* Peer walk of an .xls through FreeXL: every cell of the first worksheet
 * turned into the text an importer sees, summed up as sheet_walk does.
 * Built by run-sheet: gcc -O2 freexl_walk.c $(pkg-config --cflags --libs freexl)
 * Usage: freexl_walk WORKBOOK.xls */
#include <freexl.h>
#include <math.h>
#include <stdio.h>
#include <string.h>

static size_t numberText(double v, char* out, size_t size) {
  if (v == floor(v) && fabs(v) < 9007199254740992.0) return (size_t)snprintf(out, size, "%.0f", v);
  return (size_t)snprintf(out, size, "%.15g", v);
}

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s WORKBOOK.xls\n", argv[0]);
    return 2;
  }
  const void* handle = NULL;
  int rc = freexl_open(argv[1], &handle);
  if (rc != FREEXL_OK) {
    fprintf(stderr, "%s: freexl_open failed (%d)\n", argv[1], rc);
    return 1;
  }
  unsigned int rows = 0;
  unsigned short cols = 0;
  if (freexl_select_active_worksheet(handle, 0) != FREEXL_OK ||
      freexl_worksheet_dimensions(handle, &rows, &cols) != FREEXL_OK) {
    fprintf(stderr, "%s: no worksheet\n", argv[1]);
    freexl_close(handle);
    return 1;
  }
  unsigned long long cells = 0, total = 0;
  char buf[64];
  for (unsigned int r = 0; r < rows; r++) {
    for (unsigned short c = 0; c < cols; c++) {
      FreeXL_CellValue v;
      if (freexl_get_cell_value(handle, r, c, &v) != FREEXL_OK) {
        fprintf(stderr, "%s: cell %u,%u unreadable\n", argv[1], r + 1, c + 1);
        freexl_close(handle);
        return 1;
      }
      size_t n = 0;
      switch (v.type) {
        case FREEXL_CELL_INT:
          n = (size_t)snprintf(buf, sizeof buf, "%d", v.value.int_value);
          break;
        case FREEXL_CELL_DOUBLE:
          n = numberText(v.value.double_value, buf, sizeof buf);
          break;
        case FREEXL_CELL_TEXT:
        case FREEXL_CELL_SST_TEXT:
        case FREEXL_CELL_DATE:
        case FREEXL_CELL_DATETIME:
        case FREEXL_CELL_TIME:
          n = strlen(v.value.text_value);
          break;
        default:
          n = 0;
          break;
      }
      cells++;
      total += n;
    }
  }
  printf("rows %u cols %u cells %llu bytes %llu\n", rows, cols, cells, total);
  freexl_close(handle);
  return 0;
}
