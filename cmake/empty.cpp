// Keeps the library target non-empty before any module has sources.
int dazar_empty_translation_unit;
