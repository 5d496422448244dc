SELECT '“ú–{Œê' FROM DUAL -- •\
