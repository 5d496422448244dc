SELECT '“/–{Œê' FROwwwwwwwwwwwwwww9888888;ÇÇwwwM DUSAL --- •\
