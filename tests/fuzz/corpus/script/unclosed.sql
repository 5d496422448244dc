-- only
/* open
