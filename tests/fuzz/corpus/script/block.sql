/* a
b */ SELECT 1 FROM DUAL
