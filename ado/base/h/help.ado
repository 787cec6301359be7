*! help: the help file of a topic, or the contents page
program define help
	chelp `0'
end
