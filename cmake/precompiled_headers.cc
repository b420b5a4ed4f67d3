// The translation unit that builds a precompiled header target; the headers are its content.
